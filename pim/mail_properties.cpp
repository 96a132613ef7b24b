// The properties of a mail: which header or part holds which host field,
// and the rule that decides between a standard header and our own.
#include <string>
#include <vector>

#include "pim/mail_codec.h"
#include "records/field_map.h"

namespace morvane_pim {
namespace mail {

namespace {

// In the order the headers are written.  Our own header is named after the
// device field, X-Morvane-<field>, except the SMS mark.
static const MailProperty kProperties[] = {
    // 0
    {MailKind::kAddress, {"6", nullptr}, "From", "X-Morvane-From", nullptr},
    {MailKind::kAddress, {"5", nullptr}, "To", "X-Morvane-To", nullptr},
    {MailKind::kAddress, {"7", nullptr}, "Cc", "X-Morvane-Cc", nullptr},
    {MailKind::kAddress, {"8", nullptr}, "Bcc", "X-Morvane-Bcc", nullptr},
    {MailKind::kAddress, {"24", nullptr}, "Reply-To", "X-Morvane-Replytoaddr", nullptr},
    // 5
    {MailKind::kText, {"9", nullptr}, "Subject", "X-Morvane-Subject", nullptr},
    {MailKind::kDate, {"11.D", "11.T"}, "Date", "X-Morvane-SendDate", nullptr},
    {MailKind::kPriority, {"23", nullptr}, "X-Priority", "X-Morvane-Priority", nullptr},
    {MailKind::kBody, {"10", nullptr}, nullptr, "X-Morvane-Body", nullptr},
    {MailKind::kOwn, {"16", nullptr}, nullptr, "X-Morvane-SMS", "0"},
    // 10
    {MailKind::kOwn, {"1", nullptr}, nullptr, "X-Morvane-MailAddress", ""},
    {MailKind::kOwn, {"4", nullptr}, nullptr, "X-Morvane-MessageID", ""},
    {MailKind::kOwn, {"12", nullptr}, nullptr, "X-Morvane-RecvDate", ""},
    {MailKind::kOwn, {"17", nullptr}, nullptr, "X-Morvane-ServiceCenterAddress", ""},
    {MailKind::kOwn, {"18", nullptr}, nullptr, "X-Morvane-OriginationAddress", ""},
    // 15
    {MailKind::kOwn, {"19", nullptr}, nullptr, "X-Morvane-ReferenceNumber", ""},
    {MailKind::kOwn, {"20", nullptr}, nullptr, "X-Morvane-TotalNumber", ""},
    {MailKind::kOwn, {"21", nullptr}, nullptr, "X-Morvane-SerialNumber", ""},
    {MailKind::kOwn, {"22", nullptr}, nullptr, "X-Morvane-PDU", ""},
    {MailKind::kOwn, {"25", nullptr}, nullptr, "X-Morvane-FromMail", ""},
    // 20
    {MailKind::kOwn, {"26", nullptr}, nullptr, "X-Morvane-AttachmentInfo", ""},
    {MailKind::kFolderId, {"2", nullptr}, nullptr, "X-Morvane-FolderID", nullptr},
    {MailKind::kType, {"3", nullptr}, nullptr, "X-Morvane-Type", nullptr},
    {MailKind::kIsRead, {"13", nullptr}, nullptr, "X-Morvane-IsRead", nullptr},
    {MailKind::kIsSent, {"14", nullptr}, nullptr, "X-Morvane-IsSent", nullptr},
    // 25
    {MailKind::kIsAttachment, {"15", nullptr}, nullptr, "X-Morvane-IsAttachment", nullptr},
};

bool IsHeaderKind(MailKind kind) {
    return kind == MailKind::kAddress || kind == MailKind::kText || kind == MailKind::kDate ||
           kind == MailKind::kPriority;
}

size_t Arity(const MailProperty& property) {
    return property.readIds[1] != nullptr ? 2 : 1;
}

// What the device says for a message that lies in folder and is seen or
// not: the host folder is the device's FolderID plus one, a received mail
// is of Type 0 and every other of Type 1, and a mail in Sent was sent.
std::string DerivedValue(MailKind kind, const MailState& state) {
    const bool known = state.folder >= morvane_host::kFirstMailFolder && state.folder <= morvane_host::kLastMailFolder;
    switch (kind) {
        case MailKind::kFolderId: return known ? std::to_string(state.folder - 1) : "";
        case MailKind::kType: return known ? (state.folder == 1 ? "0" : "1") : "";
        case MailKind::kIsSent: return state.folder == 3 ? "1" : "0";
        case MailKind::kIsRead: return state.seen ? "1" : "0";
        case MailKind::kIsAttachment: return state.hasAttachment ? "1" : "0";
        default: return "";
    }
}

// What reading the standard form of values gives once written.
std::vector<std::string> WrittenStandard(const MailProperty& property, const std::vector<std::string>& values,
                                         GTimeZone* zone) {
    if (property.kind == MailKind::kBody) return {BodyAsRead(values[0])};
    const std::string lines = WriteHeaderValue(property.kind, property.header, values, zone);
    if (lines.empty()) return ReadHeaderValue(property.kind, nullptr, zone);
    const std::string value = HeaderValueOf(lines);
    return ReadHeaderValue(property.kind, &value, zone);
}

std::string OwnLine(const MailProperty& property, const std::vector<std::string>& texts) {
    return FoldHeaderLine(std::string(property.ownHeader) + ": " + EncodeOwnValues(texts));
}

}  // namespace

bool IsDerivedKind(MailKind kind) {
    return kind == MailKind::kFolderId || kind == MailKind::kType || kind == MailKind::kIsSent ||
           kind == MailKind::kIsRead || kind == MailKind::kIsAttachment;
}

const MailProperty* MailProperties(size_t* count) {
    *count = sizeof kProperties / sizeof kProperties[0];
    return kProperties;
}

const std::vector<std::pair<std::string, std::string>>& MailFieldIds() {
    static const std::vector<std::pair<std::string, std::string>> ids = [] {
        std::vector<std::pair<std::string, std::string>> list;
        const morvane_host::HostDatabase* database = morvane_host::FindDatabase(morvane_host::kMailSection);
        for (uint32_t i = 0; database != nullptr && i < database->fieldCount; ++i)
            list.emplace_back(database->fields[i].readId, database->fields[i].deviceName);
        return list;
    }();
    return ids;
}

std::vector<std::string> PropertyValues(const MailProperty& property, const MailValues& values) {
    std::vector<std::string> out;
    for (size_t i = 0; i < Arity(property); ++i) {
        const auto found = values.find(property.readIds[i]);
        out.push_back(found != values.end() ? found->second : std::string());
    }
    return out;
}

PropertyLines WriteProperty(const MailProperty& property, const std::vector<std::string>& values,
                            const MailState& state, GTimeZone* zone) {
    PropertyLines lines;
    if (property.kind == MailKind::kOwn) {
        if (values[0] != property.absent) lines.own = OwnLine(property, values);
    } else if (IsDerivedKind(property.kind)) {
        // The exact value with the standard one it stands in for.
        const std::string standard = DerivedValue(property.kind, state);
        if (values[0] != standard) lines.own = OwnLine(property, {values[0], standard});
    } else {
        if (IsHeaderKind(property.kind))
            lines.standard = WriteHeaderValue(property.kind, property.header, values, zone);
        if (WrittenStandard(property, values, zone) != values) lines.own = OwnLine(property, values);
    }
    return lines;
}

std::vector<std::string> ReadProperty(const MailProperty& property, const MailView& view, GTimeZone* zone) {
    const RawHeader* own = FindHeader(view.block, property.ownHeader);
    std::vector<std::string> exact;
    if (own != nullptr) exact = DecodeOwnValues(own->value);
    if (property.kind == MailKind::kOwn) return {own != nullptr ? exact[0] : std::string(property.absent)};
    if (IsDerivedKind(property.kind)) {
        const std::string standard = DerivedValue(property.kind, view.state);
        if (exact.size() == 2 && exact[1] == standard) return {exact[0]};
        return {standard};
    }
    std::vector<std::string> standard;
    if (property.kind == MailKind::kBody) {
        standard = {view.body};
    } else {
        const RawHeader* header = FindHeader(view.block, property.header);
        standard = ReadHeaderValue(property.kind, header != nullptr ? &header->value : nullptr, zone);
    }
    // Our header holds while the standard form still reads as it did when
    // both were written.
    if (own != nullptr && exact.size() == Arity(property) && WrittenStandard(property, exact, zone) == standard)
        return exact;
    return standard;
}

}  // namespace mail
}  // namespace morvane_pim
