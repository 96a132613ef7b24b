// Address book records as vCards: every field there and back, device
// changes merged into vCards as other programs write them, input no reader
// should take, and what independent vCard readers make of our output.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "pim/charset.h"
#include "pim/content_lines.h"
#include "pim/formats.h"
#include "pim/vcard_lines.h"
#include "records/field_map.h"
#include "support/sandbox.h"

namespace morvane_pim {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

const Settings kSettings{"", "WINDOWS-1252", 1796817600};  // merges made at 2026-12-09 12:00 UTC

// Every host field: a value as a person's card holds it (device text), the
// line it gives in the vCard, and where python's vobject finds it.
struct FieldRow {
    const char* id;
    const char* typical;
    const char* line;
    const char* vobjectKey;
};
#define WORK_ADR "ADR;TYPE=WORK:;;Hafenstra\xC3\x9F" "e 1;M\xC3\xBCnchen;Bayern;80331;Deutschland"
#define HOME_ADR "ADR;TYPE=HOME:;;Lindenweg 7\\nHinterhaus;Wien;W;1010;\xC3\x96sterreich"
static const FieldRow kFields[] = {
    {"1", "Anna", "N:Berger;Anna;Maria;;", "n.given"},
    {"2", "Maria", "N:Berger;Anna;Maria;;", "n.additional"},
    {"3", "Berger", "N:Berger;Anna;Maria;;", "n.family"},
    {"4", "+49 89 5550100", "TEL;TYPE=WORK,VOICE:+49 89 5550100", "tel:WORK,VOICE"},
    {"5", "+49 89 5550200", "TEL;TYPE=HOME,VOICE:+49 89 5550200", "tel:HOME,VOICE"},
    {"6", "+49 170 5550123", "TEL;TYPE=CELL:+49 170 5550123", "tel:CELL"},
    {"7", "anna.berger@halverd.example", "EMAIL;TYPE=INTERNET,WORK:anna.berger@halverd.example", "email:INTERNET,WORK"},
    {"8", "anna@berger.example", "EMAIL;TYPE=INTERNET,HOME:anna@berger.example", "email:INTERNET,HOME"},
    {"9", "a.berger@old.example", "EMAIL;TYPE=INTERNET:a.berger@old.example", "email:INTERNET"},
    {"10", "+49 170 5550124", "TEL;TYPE=TEXT:+49 170 5550124", "tel:TEXT"},
    {"11", "+49 89 5550300", "TEL;TYPE=PAGER:+49 89 5550300", "tel:PAGER"},
    {"12", "+49 89 5550101", "TEL;TYPE=WORK,FAX:+49 89 5550101", "tel:WORK,FAX"},
    {"13", "+49 89 5550201", "TEL;TYPE=HOME,FAX:+49 89 5550201", "tel:HOME,FAX"},
    {"14", "Halverd Logistics", "ORG:Halverd Logistics;Purchasing", "org.0"},
    {"15", "Head of Purchasing", "TITLE:Head of Purchasing", "title"},
    {"16", "80331", WORK_ADR, "adr:WORK.code"},
    {"17", "Bayern", WORK_ADR, "adr:WORK.region"},
    {"18", "M\xFCnchen", WORK_ADR, "adr:WORK.city"},
    {"19", "Hafenstra\xDF" "e 1", WORK_ADR, "adr:WORK.street"},
    {"20", "Deutschland", WORK_ADR, "adr:WORK.country"},
    {"21", "1010", HOME_ADR, "adr:HOME.code"},
    {"22", "W", HOME_ADR, "adr:HOME.region"},
    {"23", "Wien", HOME_ADR, "adr:HOME.city"},
    {"24", "Lindenweg 7\r\nHinterhaus", HOME_ADR, "adr:HOME.street"},
    {"25", "\xD6sterreich", HOME_ADR, "adr:HOME.country"},
    {"26", "https://halverd.example", "URL;TYPE=WORK:https://halverd.example", "url:WORK"},
    {"27", "Custom one", "X-MORVANE-CUSTOM1:Custom one", "x-morvane-custom1"},
    {"28", "Custom, two", "X-MORVANE-CUSTOM2:Custom\\, two", "x-morvane-custom2"},
    {"29", "Custom; three", "X-MORVANE-CUSTOM3:Custom\\; three", "x-morvane-custom3"},
    {"30", "C:\\four", "X-MORVANE-CUSTOM4:C:\\\\four", "x-morvane-custom4"},
    {"31", "Met at the trade fair.\r\nPrefers e-mail.", "NOTE:Met at the trade fair.\\nPrefers e-mail.", "note"},
    {"32", "Business", "CATEGORIES:Business", "categories.0"},
    {"33", "1", "CLASS:PRIVATE", "class"},
    {"34", "Annie", "NICKNAME:Annie", "nickname"},
    {"35", "Jonas Berger", "X-SPOUSE:Jonas Berger", "x-spouse"},
    {"36", "https://anna.example", "URL;TYPE=HOME:https://anna.example", "url:HOME"},
    {"37", "Purchasing", "ORG:Halverd Logistics;Purchasing", "org.1"},
    {"38", "19880314", "BDAY:1988-03-14", "bday"},
    {"39", "20150620", "X-ANNIVERSARY:2015-06-20", "x-anniversary"},
    {"40", "+43 664 5550123", "TEL;TYPE=HOME,CELL:+43 664 5550123", "tel:HOME,CELL"},
    {"41", "Female", "X-GENDER:Female", "x-gender"},
    {"42", "Ana", "X-PHONETIC-FIRST-NAME:Ana", "x-phonetic-first-name"},
    {"43", "Bergr", "X-PHONETIC-LAST-NAME:Bergr", "x-phonetic-last-name"},
    {"44", "Halferd", "X-PHONETIC-ORG:Halferd", "x-phonetic-org"},
};
#undef WORK_ADR
#undef HOME_ADR

enum Case { kTypical, kEmpty, kLongest, kMultiLine, kNonAscii, kSyntax, kCaseCount };

bool IsDate(const FieldRow& row) {
    return std::string(row.id) == "38" || std::string(row.id) == "39";
}

// A field's value in a generated record: the boundaries of its kind.
std::string Generated(const FieldRow& row, Case c) {
    if (c == kTypical) return row.typical;
    if (std::string(row.id) == "33") return c % 2 == 0 ? "1" : "0";
    static const char* const kDates[] = {"", "", "99991231", "00010101", "5000101", "-1"};
    if (IsDate(row)) return kDates[c];
    const std::string prefix = std::string(row.id) + " ";
    switch (c) {
    case kLongest: {  // what the adapter gives at most
        std::string text = prefix;
        while (text.size() < 45055) text += "Lorem \xE9\xFC\x80 ipsum, dolor;\r\n";
        text.resize(45055);
        if (text.back() == '\r') text.back() = '.';
        return text;
    }
    case kMultiLine:
        return prefix + "line one\r\nline two\r\n\r\nline four\r\n";
    case kNonAscii: {
        std::string text = prefix;
        for (int c8 = 0x80; c8 <= 0xFF; ++c8)
            if (c8 != 0x81 && c8 != 0x8D && c8 != 0x8F && c8 != 0x90 && c8 != 0x9D)  // not in WINDOWS-1252
                text.push_back(static_cast<char>(c8));
        return text;
    }
    case kSyntax:
        return " " + prefix + "a\\b;c,d:e\"f\tg = \\n ;,";
    default:
        return std::string();
    }
}

HostRecord MakeRecord(Case c) {
    HostRecord record;
    for (const FieldRow& row : kFields) record.fields.emplace_back(row.id, Generated(row, c));
    return record;
}

std::string Device(const std::string& utf8) {
    std::string text;
    bool lossy = false;
    EXPECT_TRUE(Utf8ToDevice(utf8, "WINDOWS-1252", &text, &lossy));
    return text;
}

Item Card(const std::string& version, const std::string& lines) {
    return Item{"BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + lines + "END:VCARD\r\n"};
}

// The record the device gets from a card that must read.
HostRecord ReadCard(const Item& item, std::vector<std::string>* warnings = nullptr, std::string* uid = nullptr) {
    HostRecord record;
    std::string ownUid;
    std::vector<std::string> ownWarnings;
    Problem problem;
    EXPECT_TRUE(ItemToAddress(item, "card.vcf", kSettings, &record, uid ? uid : &ownUid,
                              warnings ? warnings : &ownWarnings, &problem))
        << problem.reason << "\n" << item.text;
    return record;
}

std::string Merge(const Item& base, const HostRecord& record, const Settings& settings = kSettings,
                  const HostRecord* lastSynced = nullptr) {
    Item merged;
    Problem problem;
    EXPECT_TRUE(MergeAddress(base, record, settings, &merged, &problem, lastSynced)) << problem.reason;
    return merged.text;
}

void Set(HostRecord* record, const std::string& id, const std::string& value) {
    for (auto& field : record->fields)
        if (field.first == id) field.second = value;
}

TEST(AddressItem, EveryFieldGoesToItsPropertyAndComesBackForEveryBoundary) {
    for (int c = kTypical; c < kCaseCount; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const HostRecord record = MakeRecord(static_cast<Case>(c));
        const std::string uid = "uid-" + std::to_string(c);
        Item item, again;
        Problem problem;
        ASSERT_TRUE(AddressToItem(record, uid, kSettings, &item, &problem)) << problem.reason;
        ASSERT_TRUE(AddressToItem(record, uid, kSettings, &again, &problem));
        EXPECT_EQ(item.text, again.text);  // the same record gives the same bytes
        // Physical lines: CR LF, at most 75 octets, no UTF-8 sequence cut.
        size_t start = 0;
        for (size_t end; (end = item.text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string physical = item.text.substr(start, end - start);
            EXPECT_LE(physical.size(), 75u);
            EXPECT_TRUE(IsValidUtf8(physical)) << physical;
            EXPECT_EQ(physical.find_first_of("\r\n"), std::string::npos);
        }
        EXPECT_EQ(start, item.text.size());
        std::deque<std::string> joined;
        const std::vector<std::string_view> views = UnfoldContentLines(item.text, &joined);
        const std::vector<std::string> lines(views.begin(), views.end());
        const std::set<std::string> written(lines.begin(), lines.end());
        EXPECT_EQ(lines[4].compare(0, 3, "FN:"), 0);  // never empty, even for an empty record
        EXPECT_GT(lines[4].size(), 3u);
        std::string readUid;
        std::vector<std::string> warnings;
        const HostRecord back = ReadCard(item, &warnings, &readUid);
        EXPECT_EQ(readUid, uid);
        EXPECT_TRUE(warnings.empty()) << warnings[0];
        ASSERT_EQ(back.fields.size(), record.fields.size());
        for (size_t i = 0; i < record.fields.size(); ++i) {
            EXPECT_EQ(back.fields[i], record.fields[i]);
            if (c == kTypical) {
                EXPECT_TRUE(written.count(kFields[i].line)) << kFields[i].line;
            }
        }
    }
}

// What a device user does to a contact: a new surname and mobile number,
// the home e-mail deleted, a pager and a note added, another category.
static const std::pair<const char*, const char*> kDeviceEdits[] = {
    {"3", "Berger-Smith"}, {"6", "+49 160 1112223"}, {"8", ""},
    {"11", "+1 555 0100"}, {"31", "New note\r\nline 2"}, {"32", "VIP"},
};

struct FixtureRow {
    const char* file;
    const char* fn;  // after the device edits
    std::vector<std::pair<const char*, const char*>> reads;  // host field, its UTF-8 value
    size_t warnings;
    std::vector<const char*> kept;     // base lines the device edits leave as they were
    std::vector<const char*> written;  // lines the edits rewrite or add
    size_t rewritten;                  // base lines rewritten or dropped
};

static const FixtureRow kFixtures[] = {
    {"apple.vcf", "Dr. Anna Maria Berger-Smith",
     {{"1", "Anna"}, {"2", "Maria"}, {"3", "Berger"}, {"6", "+49 170 5550123"}, {"4", "+49 89 5550100"},
      {"5", "+49 89 5550200"}, {"7", "anna.berger@halverd.example"}, {"37", "Purchasing"}, {"23", "M\xC3\xBCnchen"},
      {"26", "https://halverd.example"}, {"38", "16040314"}, {"32", "Personal"}, {"42", "Ana"}},
     0,
     {"TEL;type=IPHONE;type=CELL;type=VOICE:+49 171 5550999\r\n", "item2.X-ABADR:de\r\n",
      "PHOTO;ENCODING=b;TYPE=PNG:iVBOR"},
     {"N:Berger-Smith;Anna;Maria;Dr.;\r\n", "FN:Dr. Anna Maria Berger-Smith\r\n",
      "TEL;type=CELL;type=VOICE;type=pref:+49 160 1112223\r\n", "CATEGORIES:VIP,Book club\r\n",
      "TEL;TYPE=PAGER:+1 555 0100\r\nNOTE:New note\\nline 2\r\nEND:VCARD\r\n"},
     5},
    {"google.vcf", "David Berger-Smith",
     {{"6", "+44 7700 900123"}, {"5", "+44 20 7946 0000"}, {"4", "+44 20 7946 0958"}, {"9", "dokafor@old.example"},
      {"31", "Met at the trade fair.\r\nPrefers e-mail, not phone."}, {"32", "myContacts"}, {"19", "1 Canal Street"},
      {"38", "19791102"}},
     0,
     {"TEL;TYPE=CELL:+44 7700 900456\r\n", "item1.X-ABDATE:2005-06-18\r\n", "PHOTO:https://lh3"},
     {"FN:David Berger-Smith\r\n", "N:Berger-Smith;David;;;\r\n", "TEL;TYPE=CELL:+49 160 1112223\r\n",
      "NOTE:New note\\nline 2\r\n", "CATEGORIES:VIP,Business\r\n"},
     6},
    {"nextcloud.vcf", "Lena Berger-Smith",
     {{"41", "F"}, {"39", "20150620"}, {"38", "16040704"}, {"35", "Jonas Vogt"}, {"6", "+49 151 2345678"},
      {"4", "+49 30 5550177"}, {"24", "Gartenstr. 3"}, {"7", "lena.vogt@nextcloud.example"}},
     1,
     {"IMPP:xmpp:lena@jabber.example\r\n", "X-MANAGERSNAME:Eva Brandt\r\n", "ADR;TYPE=home;LABEL=\"Gartenstr. 3\\n"},
     {"FN:Lena Berger-Smith\r\n", "N:Berger-Smith;Lena;;;\r\n", "TEL;TYPE=cell;PREF=1:+49 160 1112223\r\n",
      "CATEGORIES:VIP\r\n", "REV:20261209T120000Z\r\n",
      "TEL;TYPE=PAGER:+1 555 0100\r\nNOTE:New note\\nline 2\r\nEND:VCARD\r\n"},
     5},
    // Polish names the device can hold only transliterated.
    {"evolution.vcf", "\xC5\x81ukasz Berger-Smith",
     {{"1", "Lukasz"}, {"3", "Z\xC3\xB3lw"}, {"34", "Luk"}, {"35", "Agnieszka"}, {"39", "20110903"},
      {"38", "19850130"}, {"8", "lukasz@zolw.example"}, {"13", "+48 22 5550102"}, {"33", "1"},
      {"26", "https://zolw.example"}, {"18", "Warszawa"}},
     3,
     {"X-EVOLUTION-FILE-AS:", "CLASS:CONFIDENTIAL\r\n", "ADR;TYPE=WORK:;Pi\xC4\x99tro 3;ul. Prosta 1;"},
     {"N:Berger-Smith;\xC5\x81ukasz;;;\r\n", "FN:\xC5\x81ukasz Berger-Smith\r\n",
      "TEL;TYPE=CELL;X-EVOLUTION-UI-SLOT=1:+49 160 1112223\r\n", "NOTE:New note\\nline 2\r\n",
      "REV:20261209T120000Z\r\n"},
     6},
    // vCard 2.1: bare types, quoted-printable in two character sets (a lowercase hex digit among
    // them, which decoders accept), base64 lines not indented.
    {"nokia21.vcf", "J\xC3\xBCrgen Berger-Smith",
     {{"3", "M\xC3\xBCller"}, {"1", "J\xC3\xBCrgen"}, {"6", "+49 172 5550302"}, {"13", "+49 40 5550399"},
      {"9", "juergen@mueller.example"}, {"23", "K\xC3\xB6ln"}, {"24", "Stra\xC3\x9F" "e 5"},
      {"31", "Erste Zeile\r\nZweite Zeile mit einem sehr langen Text, der umbrochen wird"}},
     0,
     {"TEL;CELL:+49 172 5550301\r\n", "X-IRMC-LUID:000200000123\r\n", "PHOTO;ENCODING=BASE64;TYPE=PNG:\r\niVBOR"},
     {"N;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Berger-Smith;J=C3=BCrgen;;;\r\n",
      "FN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:J=C3=BCrgen Berger-Smith\r\n", "TEL;PREF;CELL:+49 160 1112223\r\n",
      "TEL;PAGER:+1 555 0100\r\n", "NOTE;ENCODING=QUOTED-PRINTABLE:New note=0D=0Aline 2\r\n", "CATEGORIES:VIP\r\n"},
     4},
};

std::string Fixture(const char* file) {
    return ReadFile(std::string(MORVANE_SOURCE_DIR) + "/tests/pim/data/" + file);
}

// The raw text of each content line (its physical lines).
std::multiset<std::string> RawLines(const std::string& text) {
    std::vector<VcardLine> lines;
    uint32_t line = 0;
    std::string reason;
    EXPECT_TRUE(ParseVcardLines(text, 0, &lines, &line, &reason)) << reason;
    std::multiset<std::string> raw;
    for (const VcardLine& l : lines) raw.insert(text.substr(l.begin, l.end - l.begin));
    return raw;
}

// A fixture as the device reads it, and merged with kDeviceEdits.
void ReadAndEdit(const FixtureRow& row, HostRecord* device, HostRecord* edited, Item* merged,
                 std::vector<std::string>* warnings) {
    const Item base{Fixture(row.file)};
    *device = ReadCard(base, warnings);
    *edited = *device;
    for (const auto& edit : kDeviceEdits) Set(edited, edit.first, edit.second);
    merged->text = Merge(base, *edited);
}

TEST(AddressMerge, DeviceEditsRewriteOnlyTheirLinesInVcardsOfOtherPrograms) {
    for (const FixtureRow& row : kFixtures) {
        SCOPED_TRACE(row.file);
        const Item base{Fixture(row.file)};
        HostRecord device, edited;
        Item merged;
        std::vector<std::string> warnings;
        ReadAndEdit(row, &device, &edited, &merged, &warnings);
        EXPECT_EQ(warnings.size(), row.warnings);
        for (const auto& read : row.reads) {
            const std::string* value = device.Value(read.first);
            ASSERT_NE(value, nullptr) << read.first;
            EXPECT_EQ(*value, Device(read.second)) << read.first;
        }
        for (const char* line : row.kept) EXPECT_NE(merged.text.find(line), std::string::npos) << line;
        for (const char* line : row.written) EXPECT_NE(merged.text.find(line), std::string::npos) << line;
        const std::multiset<std::string> before = RawLines(base.text), after = RawLines(merged.text);
        size_t gone = 0;
        for (const std::string& line : before) gone += after.count(line) == 0;
        EXPECT_EQ(gone, row.rewritten) << merged.text;
        EXPECT_EQ(ReadCard(merged).fields, edited.fields);
        // Nothing changed on the device (transliterations included): the item stays as it is.
        EXPECT_EQ(Merge(base, device), base.text);
    }
}

// One field edited on the device: the line the merge writes.  An FN of its own (a title, a company, a
// nickname) keeps its words; the rest of a line reads as before (an encoded line break as "\n", a trailing
// backslash doubled, an escaped comma kept); a tel: URI gives the number to dial, and a changed number goes
// back as text, which TEL holds in every version.
TEST(AddressMerge, AFieldEditRewritesItsLineAndKeepsTheRestOfIt) {
    static const struct {
        const char *version, *lines, *id, *read, *value, *written;  // read: the field before, when checked
    } kRows[] = {
        {"3.0", "FN:Dr. Anna M. Berger (Halverd)\r\nN:Berger;Anna;M.;;\r\n", "1", nullptr, "Annette",
         "FN:Dr. Annette M. Berger (Halverd)"},
        {"3.0", "FN:Dr. Anna M. Berger (Halverd)\r\nN:Berger;Anna;M.;;\r\n", "2", nullptr, "",
         "FN:Dr. Anna Berger (Halverd)"},
        {"3.0", "FN:Anna M. Berger\r\nN:Berger;Anna;M.;;\r\n", "3", nullptr, "", "FN:Anna M."},
        {"3.0", "FN:Mum\r\nN:Berger;Anna;;;\r\n", "1", nullptr, "Anne", "FN:Mum"},
        {"3.0", "FN:Anna Berger\r\nN:Berger;Anna;;;\r\n", "3", nullptr, "Vogt", "FN:Anna Vogt"},
        {"3.0", "N:Berger\\, Jr.;Anna;;;\r\nFN:Anna\r\n", "1", nullptr, "Jo", "N:Berger\\, Jr.;Jo;;;"},
        {"3.0", "N;ENCODING=QUOTED-PRINTABLE:Berger=0D=0ASmith;Anna;;;\r\nFN:Anna\r\n", "1", nullptr, "Jo",
         "N:Berger\\nSmith;Jo;;;"},
        {"3.0", "N;ENCODING=b:QmVyZ2VyDQpTbWl0aDtBbm5hOzs7\r\nFN:Anna\r\n", "1", nullptr, "Jo",  // base64 of the same
         "N:Berger\\nSmith;Jo;;;"},
        {"3.0", "N:Berger\\\r\nFN:Anna\r\n", "1", nullptr, "Jo", "N:Berger\\\\;Jo;;;"},
        {"4.0", "FN:Lena\r\nTEL;VALUE=uri;TYPE=\"voice,home\":tel:+49-30-5550188\r\n", "5", "+49-30-5550188",
         "+49 30 5550199", "TEL;TYPE=\"voice,home\":+49 30 5550199"},
        {"4.0", "FN:Lena\r\nTEL;TYPE=home;VALUE=URI:TEL:+49-30-5550188;ext=12;phone-context=example.com\r\n", "5",
         "+49-30-5550188 ext. 12", "+49 30 5550199", "TEL;TYPE=home:+49 30 5550199"},
        {"4.0", "FN:Lena\r\nTEL;TYPE=home:+49 (30) 5550188\r\n", "5", "+49 (30) 5550188", "+49 30 5550199",
         "TEL;TYPE=home:+49 30 5550199"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.lines);
        const Item base = Card(row.version, row.lines);
        HostRecord record = ReadCard(base);
        if (row.read != nullptr) {
            ASSERT_NE(record.Value(row.id), nullptr);
            EXPECT_EQ(*record.Value(row.id), row.read);
        }
        Set(&record, row.id, row.value);
        const std::string merged = Merge(base, record);
        EXPECT_NE(merged.find(std::string("\r\n") + row.written + "\r\n"), std::string::npos) << merged;
        EXPECT_EQ(ReadCard(Item{merged}).fields, record.fields) << merged;
    }
}

// A value longer than the handheld gives back is cut to its first 45,055
// bytes, and no further, unless that would part a CR from its LF or split
// a character of the handheld's character set.
TEST(AddressItem, ALongValueIsCutWhereTheHandheldKeepsIt) {
    const std::string x(45054, 'x');
    static const struct {
        std::string note;  // UTF-8, as the vCard holds it
        const char* charset;
        size_t kept;       // bytes the handheld gets
    } kRows[] = {
        {x + "yz", "WINDOWS-1252", 45055},
        {x + "\\nz", "WINDOWS-1252", 45054},         // CR LF on the handheld
        {x + "\xC3\xA9z", "UTF-8", 45054},           // é is two bytes there
        {x + "\xC3\xA9z", "WINDOWS-1252", 45055},    // and one here
        {x + "y", "UTF-8", 45055},
    };
    for (const auto& row : kRows) {
        Settings settings;
        settings.deviceCharset = row.charset;
        const Item item = Card("3.0", "FN:Lena\r\nNOTE:" + row.note + "\r\n");
        HostRecord record;
        std::string uid;
        std::vector<std::string> warnings;
        Problem problem;
        ASSERT_TRUE(ItemToRecord(morvane_host::kAddressSection, item, "long.vcf", settings, &record, &uid, &warnings,
                                 &problem));
        ASSERT_NE(record.Value("31"), nullptr);
        EXPECT_EQ(record.Value("31")->size(), row.kept) << row.charset << " " << row.note.substr(45050);
        EXPECT_EQ(warnings.size(), row.note.size() > 45055 ? 1u : 0u) << "a warning when cut";
    }
}

// Merged from the record as last synchronised, a device edit of the family
// name leaves the given name alone after the device's character set
// changed, though the item read in the new one would give the handheld a
// letter it did not hold before.
TEST(AddressMerge, ACharacterSetChangedSinceTheLastSyncIsNoDeviceEdit) {
    const Item base = Card("3.0", "N:Nowak;\xC5\x81ukasz;;;\r\nFN:\xC5\x81ukasz Nowak\r\n");
    const HostRecord lastSynced = ReadCard(base);
    HostRecord device = lastSynced;
    Set(&device, "3", "Nowakowski");
    Settings polish;
    polish.deviceCharset = "WINDOWS-1250";
    const std::string merged = Merge(base, device, polish, &lastSynced);
    EXPECT_NE(merged.find("N:Nowakowski;\xC5\x81ukasz;;;\r\n"), std::string::npos) << merged;
}

TEST(AddressItem, BadInputIsAnErrorWithItsLine) {
    static const struct {
        const char* text;
        uint32_t line;
        const char* reason;
    } kRows[] = {
        {"", 0, "empty"},
        {"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nN:Berger;Anna;;;\r\n", 4, "END:VCARD"},
        {"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nN:Berger;Anna;;;\r\nTEL;TY", 5, "colon"},
        {"BEGIN:VCARD\r\nVERSION:5.0\r\nFN:Anna\r\nEND:VCARD\r\n", 2, "unknown VERSION"},
        {"BEGIN:VCARD\r\nFN:Anna\r\nEND:VCARD\r\n", 1, "no VERSION"},
        {"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\nNOTE:caf\xE9\r\nEND:VCARD\r\n", 4, "UTF-8"},
        {"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n", 1, "BEGIN:VCARD"},
        {"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nFN:B\r\nEND:VCARD\r\n", 5,
         "second vCard"},
        {"BEGIN:VCARD\r\nVERSION:2.1\r\nN;ENCODING=QUOTED-PRINTABLE:M=ZZller\r\nEND:VCARD\r\n", 3, "quoted-printable"},
        {"BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=NO-SUCH-SET:M;A\r\nEND:VCARD\r\n", 3, "CHARSET"},
        {" BEGIN:VCARD\r\nVERSION:3.0\r\nEND:VCARD\r\n", 1, "continued"},
        {"\tBEGIN:VCARD\r\nVERSION:3.0\r\nEND:VCARD\r\n", 1, "continued"},
        {"BEGIN:VCARD\r\nVERSION:3.0\r\nBEGIN:VCARD\r\nEND:VCARD\r\nEND:VCARD\r\n", 3, "BEGIN inside"},
    };
    for (const auto& row : kRows) {
        HostRecord record;
        record.fields.emplace_back("1", "untouched");
        std::string uid;
        std::vector<std::string> warnings;
        Problem problem;
        EXPECT_FALSE(ItemToAddress(Item{row.text}, "bad.vcf", kSettings, &record, &uid, &warnings, &problem))
            << row.text;
        EXPECT_EQ(problem.name, "bad.vcf");
        EXPECT_EQ(problem.line, row.line) << row.text;
        EXPECT_NE(problem.reason.find(row.reason), std::string::npos) << problem.reason;
        EXPECT_EQ(record.fields.size(), 1u);  // the record is not emptied
        Item merged;
        EXPECT_FALSE(MergeAddress(Item{row.text}, record, kSettings, &merged, &problem));
    }
    // Line ends of every kind are no error.
    for (const std::string end : {"\n", "\r", "\r\n"}) {
        const HostRecord record =
            ReadCard(Item{"BEGIN:VCARD" + end + "VERSION:3.0" + end + "N:Berger;Anna;;;" + end + "FN:Anna" + end +
                          "END:VCARD"});
        ASSERT_NE(record.Value("1"), nullptr);
        EXPECT_EQ(*record.Value("1"), "Anna");
    }
}

// What joins a physical line to the one before: a fold's indent, a soft
// line break when the value is quoted-printable by its ENCODING (or the
// bare word of vCard 2.1), and an unindented base64 line after a base64
// head; the word inside another parameter joins nothing.
TEST(VcardLines, WhatContinuesALine) {
    static const struct {
        const char* text;
        size_t lines;
    } kRows[] = {
        {"NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\nb\r\n", 1},
        {"NOTE;quoted-printable:a=\r\nb\r\n", 1},
        {"NOTE;ENCODING=\"QUOTED-PRINTABLE\":a=\r\nb\r\n", 1},
        {"FN;X-A=QUOTED-PRINTABLE:a=\r\nTEL:1\r\n", 2},
        {"FN;X-QUOTED-PRINTABLE;CHARSET=UTF-8:a=\r\nTEL:1\r\n", 2},
        {"NOTE:a=\r\nTEL:1\r\n", 2},
        {"NOTE:a\r\n b\r\n", 1},
        {"NOTE:a\r\n\tb\r\n", 1},
        {"PHOTO;ENCODING=b:AAAA\r\nBBBB\r\n", 1},
        {"PHOTO;BASE64:AAAA\r\nBBBB\r\n", 1},
    };
    for (const auto& row : kRows) EXPECT_EQ(RawLines(row.text).size(), row.lines) << row.text;
}

// An expectation for address_check.py: UTF-8, LF line ends, escaped.
std::string ExpectLine(const std::string& key, const std::string& device) {
    std::string utf8, escaped;
    EXPECT_TRUE(DeviceToUtf8(device, "WINDOWS-1252", &utf8));
    if (key == "class") utf8 = utf8 == "1" ? "PRIVATE" : "";
    if ((key == "bday" || key == "x-anniversary") && utf8.size() == 8)
        utf8 = utf8.substr(0, 4) + "-" + utf8.substr(4, 2) + "-" + utf8.substr(6, 2);
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
        escaped += c == '\\' ? "\\\\" : c == '\n' || c == '\r' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
    }
    return key + "\t" + escaped + "\n";
}

TEST(AddressParsers, VobjectAndKhardReadEveryVcardWritten) {
    testing_support::Sandbox sandbox;
    const std::string folder = sandbox.root() + "/contacts/";
    ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
    Problem problem;
    for (int c = kTypical; c < kCaseCount; ++c) {
        const HostRecord record = MakeRecord(static_cast<Case>(c));
        Item item;
        ASSERT_TRUE(AddressToItem(record, "case-" + std::to_string(c), kSettings, &item, &problem));
        std::string expect = c == kTypical ? ExpectLine("fn", "Anna Maria Berger") : std::string();
        for (size_t i = 0; i < record.fields.size(); ++i)
            expect += ExpectLine(kFields[i].vobjectKey, record.fields[i].second);
        WriteFile(folder + "case-" + std::to_string(c) + ".vcf", item.text);
        WriteFile(folder + "case-" + std::to_string(c) + ".expect", expect);
    }
    // Merged items of other programs (2.1 aside: vobject reads neither
    // quoted-printable soft breaks nor the phone's own base64 lines).
    for (const FixtureRow& row : kFixtures) {
        if (std::string(row.file) == "nokia21.vcf") continue;
        HostRecord device, edited;
        Item merged;
        std::vector<std::string> warnings;
        ReadAndEdit(row, &device, &edited, &merged, &warnings);
        const std::string name = folder + "merged-" + std::string(row.file, strlen(row.file) - 4);
        WriteFile(name + ".vcf", merged.text);
        WriteFile(name + ".expect", "fn\t" + std::string(row.fn) + "\n" + ExpectLine("n.family", "Berger-Smith") +
                                        ExpectLine("note", "New note\r\nline 2") + ExpectLine("categories.0", "VIP") +
                                        ExpectLine("tel:PAGER", "+1 555 0100"));
    }
    const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    const std::string command = python + " '" MORVANE_SOURCE_DIR "/tests/pim/address_check.py' '" + folder + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << output;
    EXPECT_NE(output.find("vobject read 10 vCards"), std::string::npos) << output;
    EXPECT_NE(output.find("khard listed 4 contacts, 0 differences"), std::string::npos) << output;
}

}  // namespace
}  // namespace morvane_pim
