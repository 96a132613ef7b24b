// The PE string table reader on arbitrary bytes: a malformed image is
// refused, an accepted one answers every lookup from inside its own bytes.
#include "platform/posix/pe_string_table.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform_posix::PeStringTable table;
    if (!table.Parse(std::vector<uint8_t>(data, data + size))) {
        if (table.size() != 0) abort();
        return 0;
    }
    // Ids from the first 16 blocks, the last block and a few a test image uses.
    std::string text;
    for (uint32_t id = 0; id < 256; ++id) table.Find(id, &text);
    for (uint32_t id : {57344u, 61204u, 61205u, 65535u, 65536u, 0xFFFFFFFFu}) table.Find(id, &text);
    return 0;
}
