// Message to device record: a message as any mail program writes it read
// into the host fields of a mail, its folder and read state.
#include <algorithm>
#include <string>
#include <vector>

#include "pim/charset.h"
#include "pim/formats.h"
#include "pim/mail_codec.h"

namespace morvane_pim {
namespace mail {

namespace {

bool Fail(uint32_t line, const std::string& reason, Problem* problem) {
    problem->line = line;
    problem->reason = reason;
    return false;
}

uint32_t LineCount(const std::string& text) {
    uint32_t lines = 1;
    for (char c : text) lines += c == '\n';
    return text.empty() || text.back() != '\n' ? lines : lines - 1;
}

// A multipart whose closing boundary is missing was cut off.
bool IsComplete(GMimeObject* object, const std::string& text) {
    if (!GMIME_IS_MULTIPART(object)) return true;
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const char* boundary = g_mime_multipart_get_boundary(multipart);
    if (boundary == nullptr || text.find("--" + std::string(boundary) + "--") == std::string::npos) return false;
    for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
        if (!IsComplete(g_mime_multipart_get_part(multipart, i), text)) return false;
    return true;
}

// The Message-ID without its angle brackets (and without any comment).
std::string MessageId(const HeaderBlock& block) {
    const RawHeader* header = FindHeader(block, "Message-ID");
    if (header == nullptr) return std::string();
    const size_t open = header->value.find('<');
    const size_t close = header->value.find('>', open);
    if (open == std::string::npos || close == std::string::npos) return header->value;
    return header->value.substr(open + 1, close - open - 1);
}

}  // namespace

void EnsureGMime() {
    static const bool ready = [] {
        g_mime_init();
        return true;
    }();
    (void)ready;
}

bool ReadMessage(const Item& item, const std::string& name, MailView* view, std::vector<std::string>* warnings,
                 Problem* problem) {
    *view = MailView();
    view->text = item.text;
    // A file with CR alone for line ends (old Macintosh programs).
    if (view->text.find('\n') == std::string::npos) std::replace(view->text.begin(), view->text.end(), '\r', '\n');
    uint32_t line = 0;
    std::string reason;
    if (!ScanHeaderBlock(view->text, &view->block, &line, &reason)) return Fail(line, reason, problem);
    GMimeMessage* message = ParseMessage(view->text);
    if (message == nullptr) return Fail(1, "not a message", problem);
    GMimeObject* top = g_mime_message_get_mime_part(message);
    if (top != nullptr && !IsComplete(top, view->text)) {
        g_object_unref(message);
        return Fail(LineCount(view->text), "the message ends before the closing boundary of its parts", problem);
    }
    const BodyParts parts = FindBodyParts(message);
    if (parts.plain != nullptr)
        view->body = ReadBodyText(parts.plain, false, warnings, name);
    else if (parts.html != nullptr)
        view->body = ReadBodyText(parts.html, true, warnings, name);
    view->state.folder = item.folder;
    view->state.seen = item.seen;
    view->state.hasAttachment = parts.hasAttachment;
    g_object_unref(message);
    return true;
}

MailValues ReadValues(const MailView& view, GTimeZone* zone, std::string* uid) {
    MailValues values;
    size_t count = 0;
    const MailProperty* properties = MailProperties(&count);
    for (size_t i = 0; i < count; ++i) {
        const std::vector<std::string> read = ReadProperty(properties[i], view, zone);
        for (size_t k = 0; k < read.size(); ++k) values[properties[i].readIds[k]] = read[k];
    }
    if (uid != nullptr) *uid = MessageId(view.block);
    return values;
}

bool ValuesToRecord(const MailValues& values, const MailState& state, const Settings& settings,
                    const std::string& name, HostRecord* record, std::vector<std::string>* warnings,
                    Problem* problem) {
    *record = HostRecord();
    for (const auto& field : MailFieldIds()) {
        const auto found = values.find(field.first);
        std::string text;
        bool lossy = false;
        if (!Utf8ToDevice(found != values.end() ? found->second : std::string(), settings.deviceCharset, &text,
                          &lossy))
            return Fail(0, "unknown device character set \"" + settings.deviceCharset + "\"", problem);
        if (lossy && warnings != nullptr)
            warnings->push_back(name + ": " + field.second + " holds characters the device cannot; it gets \"" +
                                text.substr(0, 60) + "\"");
        record->fields.emplace_back(field.first, text);
    }
    record->hasFolder = state.folder != 0;
    record->folder = state.folder;
    return true;
}

bool RecordToValues(const HostRecord& record, const Settings& settings, MailValues* values, Problem* problem) {
    values->clear();
    for (const auto& field : MailFieldIds()) {
        const std::string* text = record.Value(field.first);
        if (!DeviceToUtf8(text != nullptr ? *text : std::string(), settings.deviceCharset, &(*values)[field.first]))
            return Fail(0, "unknown device character set \"" + settings.deviceCharset + "\"", problem);
    }
    return true;
}

MailState RecordState(const HostRecord& record, const MailValues& values) {
    MailState state;
    state.folder = record.hasFolder ? record.folder : 0;
    // As the device stores it: anything but "0" is read; no value is not.
    const auto read = values.find("13");
    state.seen = read != values.end() && !read->second.empty() && read->second != "0";
    return state;
}

}  // namespace mail

bool ItemToMail(const Item& item, const std::string& name, const Settings& settings, HostRecord* record,
                std::string* uid, std::vector<std::string>* warnings, Problem* problem) {
    mail::EnsureGMime();
    problem->name = name;
    GTimeZone* zone = mail::DeviceZone(settings);
    if (zone == nullptr) return mail::Fail(0, "unknown time zone \"" + settings.timezone + "\"", problem);
    std::vector<std::string> ignored;
    if (warnings == nullptr) warnings = &ignored;
    mail::MailView view;
    bool ok = mail::ReadMessage(item, name, &view, warnings, problem);
    if (ok) {
        std::string id;
        const mail::MailValues values = mail::ReadValues(view, zone, &id);
        ok = mail::ValuesToRecord(values, view.state, settings, name, record, warnings, problem);
        if (ok && uid != nullptr) *uid = id;
    }
    g_time_zone_unref(zone);
    return ok;
}

}  // namespace morvane_pim
