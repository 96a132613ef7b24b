#include "engine/plan_text.h"

#include "engine/record_text.h"

namespace morvane_engine {

namespace {

// Names the records and items of one database's plan, its labels read in
// the handheld's character set.
struct Labels {
    Gathered& g;
    const std::string& charset;

    std::string Quoted(const HostRecord* record) const {
        const std::string label = record != nullptr ? RecordLabel(g.section, *record, charset) : "";
        return label.empty() ? "(untitled)" : "\"" + label + "\"";
    }
    std::string Device(int32_t deviceId) const {
        return "record " + std::to_string(deviceId) + " " + Quoted(g.DeviceRecord(deviceId));
    }
    std::string Pc(const std::string& href) const {
        auto found = g.pc.find(href);
        return href + " " + Quoted(found != g.pc.end() ? &found->second.record : nullptr);
    }
    std::string Row(int64_t rowId) const {
        const StateRow* row = g.WithTexts(g.Row(rowId));
        if (row == nullptr) return "?";
        HostRecord stored;
        TextToRecord(row->deviceFields, &stored);
        return g.HrefNow(*row) + " / record " + std::to_string(row->deviceId) + " " + Quoted(&stored);
    }
};

}  // namespace

std::string DescribeAction(Gathered& g, const Action& a, const std::string& charset) {
    const Labels name{g, charset};
    const std::string conflict = a.conflict ? " (conflict)" : "";
    switch (a.kind) {
        case ActionKind::kPcAdd: return "PC gets new item from handheld " + name.Device(a.deviceId);
        case ActionKind::kPcUpdate: return "PC gets the handheld's change of " + name.Row(a.rowId) + conflict;
        case ActionKind::kPcDelete: return "PC deletes " + name.Row(a.rowId);
        case ActionKind::kDeviceAdd: return "handheld gets new record from " + name.Pc(a.href) + conflict;
        case ActionKind::kDeviceUpdate: return "handheld gets the PC's change of " + name.Row(a.rowId) + conflict;
        case ActionKind::kDeviceDelete: return "handheld deletes " + name.Row(a.rowId);
        case ActionKind::kLink:
            return "already the same on both sides: " + name.Pc(a.href) +
                   (a.deviceId != 0 ? " = " + name.Device(a.deviceId) : "");
        case ActionKind::kForget: return "deleted on both sides: " + name.Row(a.rowId);
        case ActionKind::kRefresh:
            if (RenamedOnly(&g, a.rowId)) return "renamed on the PC: " + g.Row(a.rowId)->href + " is now " + a.href;
            return "PC change the handheld does not hold: " + name.Pc(a.href);
        case ActionKind::kSplit:
            return "both changed " + name.Row(a.rowId) + ": the handheld's version becomes an item of its own" +
                   conflict;
    }
    return "";
}

}  // namespace morvane_engine
