// The simulated device's image loader on arbitrary text: it accepts a
// well-formed image or refuses with a reason, and an accepted image saved
// as text loads again.
#include "device/simulator.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    tethra_sim::DeviceImage image;
    std::string error;
    if (!image.FromJson(text, &error)) {
        if (error.empty()) abort();
        return 0;
    }
    tethra_sim::DeviceImage again;
    if (!again.FromJson(image.ToJson(), &error)) abort();
    if (again.ToJson() != image.ToJson()) abort();
    return 0;
}
