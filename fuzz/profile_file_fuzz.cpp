// Profile files on arbitrary bytes: reading, looking up, writing and
// deleting must all return, and a file read and joined again unchanged must
// give back its own bytes.
#include "platform/posix/profile_file.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string ScratchPath() {
    static const std::string path = "/dev/shm/morvane-fuzz-profile-" + std::to_string(getpid()) + ".ini";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(40);
    const std::string key = input.ConsumeRandomLengthString(40);
    const std::string value = input.ConsumeRandomLengthString(80);
    const int operation = input.ConsumeIntegralInRange<int>(0, 3);
    const std::string file = input.ConsumeRemainingBytesAsString();
    {
        std::ofstream out(ScratchPath(), std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }
    platform_posix::ProfileLines lines;
    if (!platform_posix::LoadProfile(ScratchPath(), &lines)) abort();
    if (platform_posix::JoinProfile(lines) != file) abort();

    for (const std::string& name : platform_posix::SectionNames(lines)) {
        for (const std::string& k : platform_posix::KeyNames(lines, name.c_str())) {
            std::string found;
            platform_posix::FindValue(lines, name.c_str(), k.c_str(), &found);
        }
    }
    std::string found;
    platform_posix::FindValue(lines, section.c_str(), key.c_str(), &found);
    switch (operation) {
    case 0:
        platform_posix::SetValue(&lines, section.c_str(), key.c_str(), value.c_str());
        break;
    case 1:
        platform_posix::DeleteKey(&lines, section.c_str(), key.c_str());
        break;
    case 2:
        platform_posix::DeleteSection(&lines, section.c_str());
        break;
    default:
        break;
    }
    platform_posix::JoinProfile(lines);
    return 0;
}
