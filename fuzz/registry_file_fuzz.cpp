// The .reg parser on arbitrary bytes: it must return, a refused file gives
// no keys, and the names it stores are folded.  (A dword may hold any
// number of bytes: "hex(4):" gives one of any length, as on Windows.)
#include "platform/posix/registry_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    platform_posix::RegistryTree tree;
    bool parsed = platform_posix::ParseRegistryFile(bytes, &tree);
    if (!parsed && !tree.empty()) abort();
    for (const auto& key : tree) {
        // Names are stored folded: folding them again changes nothing.
        if (platform_posix::RegistryFold(key.first) != key.first) abort();
        for (const auto& value : key.second) {
            if (platform_posix::RegistryFold(value.first) != value.first) abort();
        }
    }
    return 0;
}
