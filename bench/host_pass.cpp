#include "bench/host_pass.h"

namespace morvane_bench {

namespace {

// The host's field buffer: the adapter writes at most 49,152 characters.
constexpr size_t kFieldBufferSize = 65536;
constexpr int32_t kEndOfData = -7;
constexpr uint32_t kStatusDeleted = 4;
const char kHostName[] = "morvane-bench";

class RecordReader {
public:
    RecordReader(const testing_support::AdapterExports& api, const KindInfo& kind,
                 std::vector<HostRecordTexts>* out)
        : api_(api), kind_(kind), db_(HostDb(kind)), out_(out), buffer_(kFieldBufferSize, '\0') {}

    bool Read(uint32_t status) {
        HostRecordTexts texts;
        if (api_.DIZ_API_GetField("UID", buffer_.data()) != 0) return false;
        if (status == kStatusDeleted) return true;
        for (uint32_t i = 0; i < db_.fieldCount; ++i) {
            if (api_.DIZ_API_GetField(db_.fields[i].readId, buffer_.data()) != 0) return false;
            if (out_ != nullptr) texts.values.emplace_back(db_.fields[i].readId, buffer_.data());
        }
        if (kind_.kind == Kind::kSchedule && api_.DIZ_API_GetRepeatInfo(&texts.repeat) != 0) return false;
        if (kind_.kind == Kind::kMail && api_.DIZ_API_GetFolderID(&texts.folder) != 0) return false;
        if (out_ != nullptr) out_->push_back(std::move(texts));
        return true;
    }

private:
    const testing_support::AdapterExports& api_;
    const KindInfo& kind_;
    const morvane_host::HostDatabase& db_;
    std::vector<HostRecordTexts>* out_;
    std::vector<char> buffer_;
};

}  // namespace

int64_t FieldsRead(const KindInfo& kind) { return 1 + static_cast<int64_t>(HostDb(kind).fieldCount); }

int64_t ExportPass(AdapterCopy& adapter, const KindInfo& kind, DIZ_TIME stamp, std::vector<HostRecordTexts>* out) {
    const auto& api = adapter.api();
    api.DIZ_API_BeginExport(stamp);
    if (api.DIZ_API_OpenDatabase(kind.section, kHostName, kind.name) != 0) return -1;
    uint32_t full = 0, count = 0;
    if (api.DIZ_API_QueryFullSync(kind.section, stamp, &full) != 0) return -1;
    if (api.DIZ_API_GetRecordCount(kind.section, stamp, &count) != 0) return -1;
    RecordReader reader(api, kind, out);
    const bool mail = kind.kind == Kind::kMail;
    int64_t read = 0;
    for (int32_t folder = 1; folder <= (mail ? 4 : 1); ++folder) {
        if (mail && api.DIZ_API_SetFolderID(folder) != 0) return -1;
        uint32_t status = 0;
        int32_t result = api.DIZ_API_GetFirstRecord(kind.section, stamp, &status);
        for (; result == 0; result = api.DIZ_API_GetNextRecord(kind.section, stamp, &status)) {
            if (!reader.Read(status)) return -1;
            api.DIZ_API_ReleaseReadRecord();
            ++read;
        }
        if (result != kEndOfData) return -1;
    }
    if (api.DIZ_API_CloseDatabase(kind.section, 1, 0) != 0) return -1;
    return read;
}

HostWrite ToWrite(const KindInfo& kind, const HostRecordTexts& record) {
    HostWrite write;
    const morvane_host::HostDatabase& db = HostDb(kind);
    for (const auto& value : record.values) {
        const morvane_host::HostField* field = morvane_host::FindField(db, value.first);
        if (field == nullptr || field->rule == morvane_host::WriteRule::kNotSent) continue;
        std::string text = value.second;
        if (field->rule == morvane_host::WriteRule::kYesNo) text = (text == "Yes" || text == "1") ? "1" : "0";
        write.puts.emplace_back(field->writeId, text);
    }
    write.repeat = record.repeat;
    write.hasRepeat = kind.kind == Kind::kSchedule && record.repeat.isRepeating != 0;
    write.folder = record.folder;
    return write;
}

bool PrepareImport(AdapterCopy& adapter, const KindInfo& kind, bool firstSync) {
    const auto& api = adapter.api();
    api.DIZ_API_BeginExport(firstSync ? 0 : kStamp);
    if (api.DIZ_API_OpenDatabase(kind.section, kHostName, kind.name) != 0) return false;
    return api.DIZ_API_CloseDatabase(kind.section, 0, 0) == 0;
}

bool ImportPass(AdapterCopy& adapter, const KindInfo& kind, const std::vector<HostWrite>& records, int64_t n) {
    const auto& api = adapter.api();
    api.DIZ_API_BeginImport();
    if (api.DIZ_API_OpenDatabase(kind.section, kHostName, kind.name) != 0) return false;
    api.DIZ_API_BeginImport();
    char newId[16];
    for (int64_t i = 0; i < n; ++i) {
        const HostWrite& record = records[static_cast<size_t>(i) % records.size()];
        if (kind.kind == Kind::kMail && api.DIZ_API_SetFolderID(static_cast<int32_t>(record.folder)) != 0)
            return false;
        if (api.DIZ_API_InsertRecord() != 0) return false;
        for (const auto& put : record.puts)
            if (api.DIZ_API_PutField(put.first.c_str(), put.second.c_str()) != 0) return false;
        if (record.hasRepeat && api.DIZ_API_PutRepeatInfo(record.repeat) != 0) return false;
        if (api.DIZ_API_AddRecord(newId) != 0) return false;
    }
    return api.DIZ_API_CloseDatabase(kind.section, 1, 0) == 0;
}

}  // namespace morvane_bench
