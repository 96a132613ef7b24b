// What the mail_*.cpp files share: the table of a mail's properties (which
// host fields each header or part of a message holds), the header block of
// a message as text, and the reading of a message into those properties.
//
// Every property has a standard form that any mail program understands
// (From, Subject, Date, X-Priority, the text/plain body, the folder and the
// seen flag).  Where that form cannot say a device value exactly (a From
// that is no address, a subject with a line break, a send time that does
// not exist in the device's zone), the exact value goes along in a header
// of ours, X-Morvane-<device field name>.  It is believed only while the
// standard form still says what it said when it was written; once another
// program changed the standard form, that form wins.  For the fields that
// follow from the folder, the seen flag or the attachments (FolderID,
// Type, IsSent, IsRead, IsAttachment) our header names the standard value
// it was written against, since that cannot be worked out from it.
//
// Texts inside are UTF-8 with the device's CR LF line ends; the conversion
// from and to the device's character set happens at the edges.
#ifndef MORVANE_PIM_MAIL_CODEC_H
#define MORVANE_PIM_MAIL_CODEC_H

#include <stddef.h>
#include <stdint.h>

#include <gmime/gmime.h>

#include <map>
#include <string>
#include <vector>

#include "pim/pim.h"

namespace morvane_pim {
namespace mail {

// GMime is set up once per process, on first use, and never shut down:
// other code of the process may use it too.
void EnsureGMime();

// The texts of a mail's host fields by read id, UTF-8 with CR LF.
using MailValues = std::map<std::string, std::string>;

enum class MailKind : uint8_t {
    kOwn,           // only in our header; an absent header stands for `absent`
    kAddress,       // an address list header (From, To, Cc, Bcc, Reply-To)
    kText,          // an unstructured header (Subject)
    kDate,          // Date, from the send date and time
    kPriority,      // X-Priority
    kBody,          // the text/plain body
    kFolderId,      // the folders and flags below follow from where the message lies
    kType,
    kIsSent,
    kIsRead,
    kIsAttachment,  // whether the message has attachments
};

struct MailProperty {
    MailKind kind;
    const char* readIds[2];  // the host fields it holds; a second one only for the date's time
    const char* header;      // its standard header, or null
    const char* ownHeader;   // X-Morvane-*: the exact value
    const char* absent;      // kOwn: the value when our header is absent
};

// The properties in the order their headers are written.
const MailProperty* MailProperties(size_t* count);
// Whether a property's fields follow from where the message is and whether
// it was read (folder, type, read, sent, attachment) rather than from its
// text.
bool IsDerivedKind(MailKind kind);
// The mail's host fields in the field map's order: read id and device name.
const std::vector<std::pair<std::string, std::string>>& MailFieldIds();

// One header of a header block.
struct RawHeader {
    std::string name;
    std::string value;  // unfolded, without the blanks around it
    size_t begin = 0;   // its lines in the text, line ends included
    size_t end = 0;
    uint32_t line = 0;  // 1-based
};

// The header block at the top of a message or part.
struct HeaderBlock {
    std::vector<RawHeader> headers;
    size_t end = 0;        // where the empty line that ends the block starts (or the text's end)
    size_t bodyBegin = 0;  // the body, after that empty line
    uint32_t bodyLine = 0;
    bool crlf = false;     // its lines end in CR LF
};

// Splits off and checks the header block: every line a header field or the
// continuation of one, UTF-8, no NUL, not cut off in the middle of a line.
bool ScanHeaderBlock(const std::string& text, HeaderBlock* block, uint32_t* line, std::string* reason);
const RawHeader* FindHeader(const HeaderBlock& block, const char* name);
// text with every header called name removed and lines (LF line ends, any
// number of header lines, possibly none) put where the first of them was,
// or at the end of the header block.  The block's own line ends are kept.
std::string SetHeader(const std::string& text, const char* name, const std::string& lines);
// The unfolded value of the header that the lines begin with.
std::string HeaderValueOf(const std::string& lines);

// Where a message lies and what it holds besides its headers.
struct MailState {
    uint32_t folder = 0;
    bool seen = false;
    bool hasAttachment = false;
};

// A message as read: its header block, its body text and its state.
struct MailView {
    std::string text;  // the message (a CR-only file with LF line ends)
    HeaderBlock block;
    std::string body;  // UTF-8, CR LF
    MailState state;
};

// The lines a property is written as: its standard header (or nothing,
// when the value has no standard form) and our own header (or nothing,
// when the standard one says the value exactly).  The body's standard
// form is the message body itself, not written here.
struct PropertyLines {
    std::string standard;
    std::string own;
};
PropertyLines WriteProperty(const MailProperty& property, const std::vector<std::string>& values,
                            const MailState& state, GTimeZone* zone);
// The property's values in a message: its own header's where that is
// still in force, else what the standard form says.
std::vector<std::string> ReadProperty(const MailProperty& property, const MailView& view, GTimeZone* zone);
// The values of property in values (a missing field as empty text).
std::vector<std::string> PropertyValues(const MailProperty& property, const MailValues& values);

// Header values: the lines a standard header is written as ("Name: ...\n",
// folded; empty for none) and what reading its value (null: absent) gives.
std::string WriteHeaderValue(MailKind kind, const char* header, const std::vector<std::string>& values,
                             GTimeZone* zone);
std::vector<std::string> ReadHeaderValue(MailKind kind, const std::string* value, GTimeZone* zone);
// Our own headers' values: several texts as one header-safe value
// (RFC 2047 encoded words where a text is not a plain token) and back.
std::string EncodeOwnValues(const std::vector<std::string>& texts);
std::vector<std::string> DecodeOwnValues(const std::string& value);
// Folds "Name: value" at blanks to lines of at most 78 characters where
// the value allows; LF line ends, the last one included.
std::string FoldHeaderLine(const std::string& line);

// The body: the message body that carries text (LF line ends), its
// Content-Type and Content-Transfer-Encoding, and what reading it back
// gives.
struct BodyPart {
    std::string contentType;
    std::string transferEncoding;
    std::string content;
};
BodyPart WriteBody(const std::string& text);
std::string BodyAsRead(const std::string& text);
// The decoded text of a part as UTF-8 with CR LF line ends (charset,
// transfer encoding, format=flowed; HTML reduced to its text).
std::string ReadBodyText(GMimePart* part, bool html, std::vector<std::string>* warnings, const std::string& name);

// Parses a message with GMime; null when the text holds none.  Unref with
// g_object_unref.
GMimeMessage* ParseMessage(const std::string& text);
// The parts of a message that carry its text, and whether it has
// attachments: a part marked as one, with a file name, or not text.
struct BodyParts {
    GMimePart* plain = nullptr;  // the first text/plain part that is no attachment
    GMimePart* html = nullptr;   // the first text/html part that is no attachment
    bool hasAttachment = false;
};
BodyParts FindBodyParts(GMimeMessage* message);

// The device's time zone: Settings::timezone, or the system's when empty;
// null when unknown.  Free with g_time_zone_unref.
GTimeZone* DeviceZone(const Settings& settings);

// Reads a message: its header block, body and state.  False with the
// problem (name and line) when it is no message.
bool ReadMessage(const Item& item, const std::string& name, MailView* view, std::vector<std::string>* warnings,
                 Problem* problem);
// The host fields of a message as UTF-8 values, with its Message-ID.
MailValues ReadValues(const MailView& view, GTimeZone* zone, std::string* uid);

// The device form of values: the record's fields in device text.
bool ValuesToRecord(const MailValues& values, const MailState& state, const Settings& settings,
                    const std::string& name, HostRecord* record, std::vector<std::string>* warnings,
                    Problem* problem);
// A record's fields as UTF-8 values.
bool RecordToValues(const HostRecord& record, const Settings& settings, MailValues* values, Problem* problem);
// Where a record's message lies: its folder, and seen from IsRead.
MailState RecordState(const HostRecord& record, const MailValues& values);

}  // namespace mail
}  // namespace morvane_pim

#endif
