#include "session_harness.h"

#include "device/simulator.h"
#include "platform/win32api.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdlib.h>
#include <string.h>

namespace fs = std::filesystem;

namespace fuzz_session {
namespace {

const uint8_t kPcId[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
const char kSettings[] = "[Synchronization]\r\nPCID=123456789ABCDEF0\r\nSyncTime=20240131235959\r\n";

struct World {
    fs::path root;
    fs::path device;
    fs::path settings;
    std::string image;  // the paired demo handheld as JSON
};

void WriteWhole(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void RemoveWorld();

World& TheWorld() {
    static World* world = [] {
        auto* w = new World;
        char pattern[] = "/tmp/morvane-fuzz-XXXXXX";
        if (mkdtemp(pattern) == nullptr) __builtin_trap();
        w->root = pattern;
        const fs::path data = w->root / "drive_c" / "Korvell" / "Data";
        fs::create_directories(data);
        w->device = w->root / "device.json";
        w->settings = data / "ISEnvSet.ini";
        // No "QA_Trace", and the debugger output read into /dev/null: every
        // trace line is formatted, with the host's texts in it, and dropped.
        WriteWhole(w->root / "user.reg",
                   "Windows Registry Editor Version 5.00\n\n"
                   "[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n"
                   "\"DatafilePath\"=\"C:\\\\Korvell\\\\Data\\\\\"\n");
        // Through the platform, so that a value it keeps (whether anything
        // reads the debugger output) is read again.
        SetEnvironmentVariableA("MORVANE_DRIVE_C", (w->root / "drive_c").c_str());
        SetEnvironmentVariableA("MORVANE_REGISTRY", (w->root / "user.reg").c_str());
        SetEnvironmentVariableA("MORVANE_DEVICE", w->device.c_str());
        SetEnvironmentVariableA("MORVANE_MESSAGEBOX", "ok");
        SetEnvironmentVariableA("MORVANE_DEBUG_OUTPUT", "/dev/null");
        tethra_sim::DeviceImage image = tethra_sim::DemoImage();
        image.SetPairing(kPcId, "20240131235959");
        w->image = image.ToJson();
        atexit(RemoveWorld);
        return w;
    }();
    return *world;
}

void RemoveWorld() {
    std::error_code ignored;
    fs::remove_all(TheWorld().root, ignored);
}

}  // namespace

void BeginInput() {
    World& world = TheWorld();
    WriteWhole(world.device, world.image);
    WriteWhole(world.settings, kSettings);
    // Whatever the earlier inputs did, a new session must start.
    if (DIZ_API_Initialize("fuzz", "fuzz") != 0) __builtin_trap();
}

void EndInput() {
    DIZ_API_CloseDatabase(0, 1, 1);
    DIZ_API_CloseSyncApp();
    DIZ_API_Uninitialize();
}

int32_t CheckResult(int32_t result) {
    switch (result) {
    case 0: case -2: case -3: case -4: case -6: case -7: case -8: case -9: case -10: case -11: case -12:
        return result;
    default:
        __builtin_trap();
    }
}

int32_t ReadField(const char* fieldId) {
    std::unique_ptr<char[]> out(new char[kFieldTextBytes]);
    const int32_t result = CheckResult(DIZ_API_GetField(fieldId, out.get()));
    if (memchr(out.get(), '\0', kFieldTextBytes) == nullptr) __builtin_trap();
    return result;
}

int32_t AddRecord() {
    std::unique_ptr<char[]> id(new char[kRecordIdBytes]);
    id[0] = '\0';
    const int32_t result = CheckResult(DIZ_API_AddRecord(id.get()));
    if (memchr(id.get(), '\0', kRecordIdBytes) == nullptr) __builtin_trap();
    return result;
}

int32_t ReadWriteRecordId() {
    std::unique_ptr<char[]> id(new char[kRecordIdBytes]);
    const int32_t result = CheckResult(DIZ_API_GetRecordID_Attachment(id.get()));
    if (memchr(id.get(), '\0', kRecordIdBytes) == nullptr) __builtin_trap();
    return result;
}

int32_t ReadWriteRecordField(int32_t fieldId) {
    std::unique_ptr<char[]> out(new char[kFieldTextBytes]);
    return CheckResult(DIZ_API_GetFieldByWriteRec(fieldId, out.get()));
}

int32_t PickSection(FuzzedDataProvider& input) {
    if (input.ConsumeIntegralInRange<int>(0, 15) == 0) return input.ConsumeIntegral<int32_t>();
    return input.ConsumeIntegralInRange<int32_t>(0, 6);
}

const char* PickText(FuzzedDataProvider& input, std::string& storage, size_t maxLength) {
    if (input.ConsumeIntegralInRange<int>(0, 31) == 0) return nullptr;
    storage = input.ConsumeRandomLengthString(maxLength);
    return storage.c_str();
}

const char* PickFieldId(FuzzedDataProvider& input, std::string& storage) {
    static const char* const kSelectors[] = {"", ".D", ".T", ".", ".X", ".D.T"};
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return PickText(input, storage, 64);
    case 1:
        storage = "UID";
        return storage.c_str();
    case 2:
        // Far beyond any id, a few thousand characters long.
        storage.assign(input.ConsumeIntegralInRange<size_t>(1, 4096), '9');
        return storage.c_str();
    default:
        storage = std::to_string(input.ConsumeIntegralInRange<int>(-2, 60)) +
                  input.PickValueInArray(kSelectors);
        return storage.c_str();
    }
}

const char* PickRecordId(FuzzedDataProvider& input, std::string& storage) {
    switch (input.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
        return PickText(input, storage, 32);
    case 1:
        storage = std::to_string(input.ConsumeIntegral<int64_t>());
        return storage.c_str();
    case 2:
        // A companion e-mail record: the id with bit 31, as negative text.
        storage = std::to_string(static_cast<int32_t>(0x80000000u | input.ConsumeIntegralInRange<uint32_t>(0, 9)));
        return storage.c_str();
    default:
        storage = std::to_string(input.ConsumeIntegralInRange<int>(0, 12));
        return storage.c_str();
    }
}

}  // namespace fuzz_session
