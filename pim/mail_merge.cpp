// A device record's changes into the message last synchronised: only the
// headers and the part fed by fields whose values changed are rewritten,
// each in the place it had; every other byte of the message stays.
#include <string>
#include <vector>

#include "pim/formats.h"
#include "pim/mail_codec.h"

namespace morvane_pim {

namespace {

using namespace mail;

bool Fail(uint32_t line, const std::string& reason, Problem* problem) {
    problem->line = line;
    problem->reason = reason;
    return false;
}

// Whether the record changes a property: against the base as the device
// sees it where the record puts it for the fields that follow from the
// folder and read flag, and against the record as last synchronised, when
// known, for the others (so that a zone or character set changed since
// reads as no edit).
bool Differs(const MailProperty& property, const HostRecord& record, const HostRecord& before,
             const HostRecord* lastSynced) {
    const HostRecord* held = lastSynced != nullptr && !IsDerivedKind(property.kind) ? lastSynced : nullptr;
    for (const char* id : property.readIds) {
        if (id == nullptr) continue;
        const std::string* now = record.Value(id);
        if (now == nullptr) continue;  // a field the record lacks is no change
        const std::string* was = held != nullptr && held->Value(id) != nullptr ? held->Value(id) : before.Value(id);
        if (*now != (was != nullptr ? *was : std::string())) return true;
    }
    return false;
}

bool StartsWithText(const std::string& value) {
    return g_ascii_strncasecmp(value.c_str(), "text/", 5) == 0;
}

std::string WithLineEnds(const std::string& text, bool crlf) {
    std::string out;
    for (char c : text) {
        if (c == '\n' && crlf) out += '\r';
        out += c;
    }
    return out;
}

// A message of one text part: its headers and body rewritten as text.
std::string ReplaceSingleBody(const std::string& text, const BodyPart& part) {
    std::string out = SetHeader(text, "Content-Type", "Content-Type: " + part.contentType + "\n");
    out = SetHeader(out, "Content-Transfer-Encoding", "Content-Transfer-Encoding: " + part.transferEncoding + "\n");
    HeaderBlock block;
    uint32_t line = 0;
    std::string reason;
    ScanHeaderBlock(out, &block, &line, &reason);
    if (FindHeader(block, "MIME-Version") == nullptr) {
        out = SetHeader(out, "MIME-Version", "MIME-Version: 1.0\n");
        ScanHeaderBlock(out, &block, &line, &reason);
    }
    return out.substr(0, block.end) + WithLineEnds("\n" + part.content, block.crlf);
}

// The text part of a message with parts rewritten in place (its other
// headers kept), or a text part added in front of the others.
bool ReplacePartBody(std::string* text, const BodyPart& body, bool crlf) {
    GMimeMessage* message = ParseMessage(*text);
    if (message == nullptr) return false;
    const BodyParts parts = FindBodyParts(message);
    GMimePart* part = parts.plain != nullptr ? parts.plain : parts.html;
    const bool added = part == nullptr;
    if (added) part = GMIME_PART(g_mime_text_part_new());
    GMimeContentType* type = g_mime_content_type_parse(nullptr, body.contentType.c_str());
    g_mime_object_set_content_type(GMIME_OBJECT(part), type);
    g_object_unref(type);
    const GMimeContentEncoding encoding = g_mime_content_encoding_from_string(body.transferEncoding.c_str());
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(body.content.data(), body.content.size());
    GMimeDataWrapper* content = g_mime_data_wrapper_new_with_stream(stream, encoding);
    g_mime_part_set_content(part, content);
    g_mime_part_set_content_encoding(part, encoding);
    g_object_unref(content);
    g_object_unref(stream);
    if (added) {
        GMimeObject* top = g_mime_message_get_mime_part(message);
        if (top != nullptr && GMIME_IS_MULTIPART(top)) {
            g_mime_multipart_insert(GMIME_MULTIPART(top), 0, GMIME_OBJECT(part));
        } else {
            GMimeMultipart* mixed = g_mime_multipart_new_with_subtype("mixed");
            g_mime_multipart_add(mixed, GMIME_OBJECT(part));
            if (top != nullptr) g_mime_multipart_add(mixed, top);
            g_mime_message_set_mime_part(message, GMIME_OBJECT(mixed));
            g_object_unref(mixed);
        }
        g_object_unref(part);
    }
    GMimeFormatOptions* options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, crlf ? GMIME_NEWLINE_FORMAT_DOS : GMIME_NEWLINE_FORMAT_UNIX);
    char* out = g_mime_object_to_string(GMIME_OBJECT(message), options);
    *text = out;
    g_free(out);
    g_mime_format_options_free(options);
    g_object_unref(message);
    return true;
}

bool ReplaceBody(std::string* text, const std::string& body) {
    HeaderBlock block;
    uint32_t line = 0;
    std::string reason;
    if (!ScanHeaderBlock(*text, &block, &line, &reason)) return false;
    const RawHeader* type = FindHeader(block, "Content-Type");
    const BodyPart part = WriteBody(body);
    if (type == nullptr || StartsWithText(type->value)) {
        *text = ReplaceSingleBody(*text, part);
        return true;
    }
    return ReplacePartBody(text, part, block.crlf);
}

}  // namespace

bool MergeMail(const Item& base, const HostRecord& record, const Settings& settings, Item* merged, Problem* problem,
               const HostRecord* lastSynced) {
    EnsureGMime();
    MailValues values;
    if (!RecordToValues(record, settings, &values, problem)) return false;
    GTimeZone* zone = DeviceZone(settings);
    if (zone == nullptr) return Fail(0, "unknown time zone \"" + settings.timezone + "\"", problem);
    MailState state = RecordState(record, values);
    if (!record.hasFolder) state.folder = base.folder;
    // The base as the device sees it where the record puts it: the fields
    // that follow from the folder and seen flag then differ only when the
    // record says something else.
    MailView view;
    std::vector<std::string> warnings;
    HostRecord before;
    bool ok = ReadMessage(Item{base.text, state.folder, state.seen}, problem->name, &view, &warnings, problem) &&
              ValuesToRecord(ReadValues(view, zone, nullptr), view.state, settings, problem->name, &before, nullptr,
                             problem);
    state.hasAttachment = view.state.hasAttachment;
    std::string text = view.text;
    size_t count = 0;
    const MailProperty* properties = MailProperties(&count);
    for (size_t i = 0; ok && i < count; ++i) {
        const MailProperty& property = properties[i];
        if (!Differs(property, record, before, lastSynced)) continue;
        const PropertyLines lines = WriteProperty(property, PropertyValues(property, values), state, zone);
        if (property.kind == MailKind::kBody && !ReplaceBody(&text, values["10"]))
            ok = Fail(1, "the message's parts cannot be rewritten", problem);
        if (property.header != nullptr) text = SetHeader(text, property.header, lines.standard);
        text = SetHeader(text, property.ownHeader, lines.own);
    }
    g_time_zone_unref(zone);
    if (!ok) return false;
    merged->text = text;
    merged->folder = state.folder;
    merged->seen = state.seen;
    return true;
}

}  // namespace morvane_pim
