// The simulated device's image loader on arbitrary text: it accepts a
// well-formed image or refuses with a reason; the hand scanner of the plain
// form never reads a text otherwise than the general reader does; and an
// accepted image saved as text is in that plain form and loads again.
#include "device/image_codec.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using tethra_sim::ImageReading;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    tethra_sim::DeviceImage image, plain;
    std::string error;
    const bool read = tethra_sim::ReadImageText(text, ImageReading::kGeneralOnly, &image, &error);
    if (tethra_sim::ReadImageText(text, ImageReading::kPlainOnly, &plain, nullptr) &&
        (!read || plain.ToJson() != image.ToJson()))
        abort();
    if (!read) {
        if (error.empty()) abort();
        return 0;
    }
    tethra_sim::DeviceImage again;
    if (!tethra_sim::ReadImageText(image.ToJson(), ImageReading::kPlainOnly, &again, &error)) abort();
    if (again.ToJson() != image.ToJson()) abort();
    return 0;
}
