// Device record to message: a mail's host fields as an RFC 5322 message
// with LF line ends, in a fixed order of headers, so that the same record
// always gives the same bytes.
#include <string.h>

#include <string>
#include <vector>

#include "pim/formats.h"
#include "pim/mail_codec.h"

namespace morvane_pim {

namespace {

bool Fail(const std::string& reason, Problem* problem) {
    problem->line = 0;
    problem->reason = reason;
    return false;
}

// The Message-ID of an item: its uid where that is one already, else the
// uid at a domain of ours that can belong to nobody (RFC 2606).
bool MessageIdOf(const std::string& uid, std::string* id) {
    static const char kAtext[] = "!#$%&'*+-/=?^_`{|}~.";
    size_t ats = 0;
    for (unsigned char c : uid) {
        ats += c == '@';
        if (!g_ascii_isalnum(c) && c != '@' && strchr(kAtext, c) == nullptr) return false;
    }
    if (ats > 1 || uid.front() == '@' || uid.back() == '@') return false;
    *id = ats == 1 ? uid : uid + "@morvane.invalid";
    return true;
}

}  // namespace

bool MailToItem(const HostRecord& record, const std::string& uid, const Settings& settings, Item* item,
                Problem* problem) {
    using namespace mail;
    EnsureGMime();
    MailValues values;
    if (!RecordToValues(record, settings, &values, problem)) return false;
    std::string text;
    if (!uid.empty()) {
        std::string id;
        if (!MessageIdOf(uid, &id)) return Fail("the uid \"" + uid + "\" cannot make a Message-ID", problem);
        text = "Message-ID: <" + id + ">\n";
    }
    GTimeZone* zone = DeviceZone(settings);
    if (zone == nullptr) return Fail("unknown time zone \"" + settings.timezone + "\"", problem);
    const MailState state = RecordState(record, values);
    size_t count = 0;
    const MailProperty* properties = MailProperties(&count);
    std::string own;
    for (size_t i = 0; i < count; ++i) {
        const PropertyLines lines = WriteProperty(properties[i], PropertyValues(properties[i], values), state, zone);
        text += lines.standard;
        own += lines.own;
    }
    g_time_zone_unref(zone);
    const BodyPart body = WriteBody(values["10"]);
    text += "MIME-Version: 1.0\nContent-Type: " + body.contentType +
            "\nContent-Transfer-Encoding: " + body.transferEncoding + "\n";
    item->text = text + own + "\n" + body.content;
    item->folder = state.folder;
    item->seen = state.seen;
    return true;
}

}  // namespace morvane_pim
