// DIZ_API_SetFolderID and DIZ_API_WriteFolderID: the E-mail folder the host
// chooses, and the fields it fills in every E-mail record stored.
#include "fields/field_write.h"
#include "fields/write_value.h"

#include "schema/field_table.h"
#include "session/call_frame.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

namespace {

using namespace field_write;

// What a host folder (1-4) writes.  The host numbers folders one higher
// than the device, and only the device's folder 0 holds mail that is not
// of the sent kind.
struct FolderFields {
    uint32_t folderId;  // FolderID, 32-bit
    uint8_t type;       // Type, one byte
};

static const FolderFields kFolderFields[] = {
    {0, 0},  // host folder 1
    {1, 1},  // host folder 2
    {2, 1},  // host folder 3
    {3, 1},  // host folder 4
};

constexpr int32_t kHighestHostFolder = 4;

// Gives the field a fresh value of width bytes holding value.  False when
// writeHeap is exhausted; true also when the field is missing (traced).
bool WriteFolderValue(uint32_t fieldId, uint32_t width, uint32_t value, const char* missingLine, int32_t* result) {
    WorkingField* slot = FindWorkingField(&g_session.writeRecord, fieldId, nullptr);
    if (slot == nullptr) {
        LogTrace("%s", missingLine);
        return false;
    }
    uint8_t* bytes = NewSlotValue(slot, width);
    if (bytes == nullptr) {
        *result = ReportValueMemoryFailure(width);
        return false;
    }
    StoreLittleEndian(bytes, value, width);
    return true;
}

}  // namespace

int32_t ChooseHostFolder(int32_t folder) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_SetFolderID(%d)\n", folder);
    // 0 is accepted here (it is what the session starts with), but no
    // record can be stored under it.
    if (folder < 0 || folder > kHighestHostFolder) {
        LogTrace("Invalid folder ID [%d] passed in to DIZ_API_SetFolderID.\n", folder);
        return kResultInvalidField;
    }
    g_session.hostFolderId = static_cast<uint32_t>(folder);
    return kResultOk;
}

int32_t WriteFolderFields(int32_t folder) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_WriteFolderID(%d)\n", folder);
    const uint32_t index = static_cast<uint32_t>(folder) - 1u;
    if (index >= sizeof kFolderFields / sizeof kFolderFields[0]) {
        LogTrace("Invalid folder ID [%d] passed in to DIZ_API_WriteFolderID.\n", folder);
        return kResultInvalidField;
    }
    const FolderFields& fields = kFolderFields[index];
    int32_t result = kResultOk;
    if (WriteFolderValue(MailField::FolderID, 4, fields.folderId, "Field Folder ID not found\n", &result) &&
        WriteFolderValue(MailField::IsSMS, 1, 0, "Field isSMS not found\n", &result)) {
        WriteFolderValue(MailField::Type, 1, fields.type, "Field Type not found\n", &result);
    }
    return result;
}
