#include "engine/plan_text.h"

#include "engine/record_text.h"

namespace morvane_engine {

namespace {

std::string Quoted(const std::string& label) { return label.empty() ? "(untitled)" : "\"" + label + "\""; }

std::string DeviceLabel(Gathered& g, int32_t deviceId, const std::string& charset) {
    const HostRecord* record = g.DeviceRecord(deviceId);
    return "record " + std::to_string(deviceId) + " " + Quoted(record != nullptr ? RecordLabel(g.section, *record, charset) : "");
}

std::string PcLabel(Gathered& g, const std::string& href, const std::string& charset) {
    auto found = g.pc.find(href);
    return href + " " + Quoted(found != g.pc.end() ? RecordLabel(g.section, found->second.record, charset) : "");
}

std::string RowLabel(Gathered& g, int64_t rowId, const std::string& charset) {
    const StateRow* row = g.WithTexts(g.Row(rowId));
    if (row == nullptr) return "?";
    HostRecord stored;
    TextToRecord(row->deviceFields, &stored);
    return g.HrefNow(*row) + " / record " + std::to_string(row->deviceId) + " " + Quoted(RecordLabel(g.section, stored, charset));
}

}  // namespace

std::string DescribeAction(Gathered& g, const Action& a, const std::string& charset) {
    const std::string conflict = a.conflict ? " (conflict)" : "";
    switch (a.kind) {
        case ActionKind::kPcAdd: return "PC gets new item from handheld " + DeviceLabel(g, a.deviceId, charset);
        case ActionKind::kPcUpdate:
            return "PC gets the handheld's change of " + RowLabel(g, a.rowId, charset) + conflict;
        case ActionKind::kPcDelete: return "PC deletes " + RowLabel(g, a.rowId, charset);
        case ActionKind::kDeviceAdd: return "handheld gets new record from " + PcLabel(g, a.href, charset) + conflict;
        case ActionKind::kDeviceUpdate: return "handheld gets the PC's change of " + RowLabel(g, a.rowId, charset) + conflict;
        case ActionKind::kDeviceDelete: return "handheld deletes " + RowLabel(g, a.rowId, charset);
        case ActionKind::kLink:
            return "already the same on both sides: " + PcLabel(g, a.href, charset) +
                   (a.deviceId != 0 ? " = " + DeviceLabel(g, a.deviceId, charset) : "");
        case ActionKind::kForget: return "deleted on both sides: " + RowLabel(g, a.rowId, charset);
        case ActionKind::kRefresh:
            if (RenamedOnly(&g, a.rowId)) return "renamed on the PC: " + g.Row(a.rowId)->href + " is now " + a.href;
            return "PC change the handheld does not hold: " + PcLabel(g, a.href, charset);
        case ActionKind::kSplit:
            return "both changed " + RowLabel(g, a.rowId, charset) + ": the handheld's version becomes an item of its own" +
                   conflict;
    }
    return "";
}

}  // namespace morvane_engine
