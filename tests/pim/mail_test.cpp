// E-mail records and RFC 5322 messages: round trips over generated
// records, messages other programs wrote, merges, bad input, and Python's
// mailbox and email modules reading a Maildir of what we write.
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "pim/formats.h"
#include "records/field_map.h"
#include "support/sandbox.h"

namespace morvane_pim {
namespace {

using morvane_host::HostRecord;

Settings Berlin() {
    Settings settings;
    settings.timezone = "Europe/Berlin";
    return settings;
}

// Values of every host field (Windows-1252); generated record k takes value k of each column, cycling.
// "*" is what the folder and seen flag imply (FolderID = folder - 1, Type 0 for received mail, IsSent in Sent).
struct Column {
    const char* readId;
    std::vector<std::string> values;
};

const std::vector<Column>& Columns() {
    static const std::string longBody = [] {
        std::string text;
        while (text.size() < 45055 - 40) text += "Zeile " + std::to_string(text.size()) + " mit \xFC und = \r\n";
        return text + std::string(45055 - text.size(), 'x');
    }();
    static const std::vector<Column> columns = {
        {"1", {"", "lukas@example.net", "a;b \"c\" =?x?="}},
        {"2", {"*", "*", "*", "7", ""}},
        {"3", {"*", "*", "2", "*"}},
        {"4", {"", "1234", "<abc@x>", "m\xE9ssage id"}},
        {"5", {"Lukas Hofer <lukas@example.net>", "", "anna@example.org, Bob <bob@example.com>",
               "J\xF6rg M\xFCller <joerg@example.de>", "+491701234567", "\"Berger, Anna\" <anna@example.org>",
               "undisclosed-recipients:;", "two\r\nlines <x@example.org>"}},
        {"6", {"Anna Berger <anna@example.org>", "+49 170 1234567", "", "J\xF6rg", "\xC9lodie <elodie@example.fr>"}},
        {"7", {"", "Carla <carla@example.net>", "x"}},
        {"8", {"", "bcc@example.org"}},
        {"9", {"Meeting", "", "Gr\xFC\xDF" "e aus M\xFCnchen \x80 5", "two\r\nlines", "  padded  ",
               std::string(1000, 'w'), "=?utf-8?q?not_encoded?=", "word " + std::string(300, 'v')}},
        {"10", {"Hello\r\n", "", "line 1\r\nline 2\r\n\r\nlast line", "Gr\xFC\xDF" "e\r\n\x80 5 = 5\r\n", longBody,
                "lone\nLF and lone\rCR", "trailing  \r\n\tTab\r\n", "a\r\r\nb"}},
        {"11.D", {"20030415", "", "20230326", "20231029", "19991231", "20030415", "2003041x", "20240229"}},
        {"11.T", {"0930", "", "0230", "0230", "2359", "", "99", "0000"}},
        {"12", {"", "20030415093000", "x"}},
        {"13", {"1", "0", "1", "0", ""}},
        {"14", {"*", "*", "1", "*"}},
        {"15", {"0", "0", "1"}},
        {"16", {"0", "1", "0", ""}},
        {"17", {"", "+491710760000"}},
        {"18", {"", "+4917012345"}},
        {"19", {"", "12"}},
        {"20", {"", "3"}},
        {"21", {"", "1"}},
        {"22", {"", "0791947106004034040D"}},
        {"23", {"1", "0", "2", "3", "4", ""}},
        {"24", {"", "Anna <anna@example.org>", "not an address"}},
        {"25", {"", "anna@example.org"}},
        {"26", {"", "report.pdf;12345"}},
    };
    return columns;
}

HostRecord Generated(size_t k) {
    HostRecord record;
    record.hasFolder = k % 11 != 10;
    record.folder = record.hasFolder ? 1 + k % 4 : 0;
    const std::string implied[] = {std::to_string(record.folder - 1), record.folder == 1 ? "0" : "1",
                                   record.folder == 3 ? "1" : "0"};
    for (const Column& column : Columns()) {
        std::string value = column.values[k % column.values.size()];
        if (value == "*") value = implied[column.readId == std::string("2") ? 0 : column.readId == std::string("3") ? 1 : 2];
        record.fields.emplace_back(column.readId, value);
    }
    return record;
}

std::string Read(const std::string& name) {
    return testing_support::ReadFile(std::string(MORVANE_SOURCE_DIR) + "/tests/pim/data/" + name);
}

TEST(Mail, EveryFieldRoundTripsAndTheSameRecordGivesTheSameBytes) {
    for (size_t k = 0; k < 40; ++k) {
        const HostRecord record = Generated(k);
        Item item, again;
        Problem problem;
        const std::string uid = "r" + std::to_string(k);
        ASSERT_TRUE(MailToItem(record, uid, Berlin(), &item, &problem)) << k << ": " << problem.reason;
        ASSERT_TRUE(MailToItem(record, uid, Berlin(), &again, &problem));
        EXPECT_EQ(item.text, again.text) << k;
        HostRecord back;
        std::string readUid;
        ASSERT_TRUE(ItemToMail(item, "m", Berlin(), &back, &readUid, nullptr, &problem)) << k << ": " << problem.reason;
        EXPECT_EQ(readUid, uid + "@morvane.invalid");
        EXPECT_EQ(back.hasFolder, record.hasFolder) << k;
        EXPECT_EQ(back.folder, record.folder) << k;
        ASSERT_EQ(back.fields.size(), record.fields.size());
        for (size_t i = 0; i < record.fields.size(); ++i)
            EXPECT_EQ(back.fields[i], record.fields[i]) << "record " << k << "\n" << item.text.substr(0, 3000);
    }
}

TEST(Mail, AnOrdinaryMailIsWrittenInStandardHeadersOnly) {
    HostRecord record = Generated(0);  // received, read, addresses, a send date
    record.fields[16] = {"16", "1"};  // IsSMS
    Item item;
    Problem problem;
    ASSERT_TRUE(MailToItem(record, "a@b.example", Berlin(), &item, &problem));
    for (const char* line : {"Message-ID: <a@b.example>\n", "From: Anna Berger <anna@example.org>\n",
                             "To: Lukas Hofer <lukas@example.net>\n", "Subject: Meeting\n",
                             "Date: Tue, 15 Apr 2003 09:30:00 +0200\n", "X-Priority: 3 (Normal)\n",
                             "Content-Type: text/plain; charset=UTF-8\n", "X-Morvane-SMS: 1\n", "\n\nHello\n"})
        EXPECT_NE(item.text.find(line), std::string::npos) << line << item.text;
    EXPECT_EQ(item.text.find("X-Morvane-SMS: 1\n"), item.text.find("X-Morvane-")) << item.text;
    EXPECT_EQ(item.folder, 1u);
    EXPECT_TRUE(item.seen);
}

TEST(Mail, MessagesOfOtherProgramsReadIntoSensibleRecords) {
    static const struct {
        const char *file, *uid, *from, *subject, *date, *time, *bodyStart, *attachment, *priority;
    } kRows[] = {
        {"thunderbird_alternative_attachment.eml", "3f6b2c1e-8d7a-4b0e-9c55-2a1f0e6d9b11@example.org",
         "Anna Berger <anna.berger@example.org>", "Angebot f\xFCr die Fr\xFChjahrsausstellung", "20230306", "1014",
         "Hallo Lukas,\r\n\r\nanbei das Angebot f\xFCr die Fr\xFChjahrsausstellung. Die Preise gelten bis Ende M\xE4rz.",
         "1", "1"},
        {"gmail_html_plain.eml", "CAF3u7mPq9xZ2Lw+5nT1yV6bR0cK8dH4sJ2gA9eW1fQ7oU3iE5@mail.gmail.com",
         "J\xF6rg M\xFCller <joerg.mueller@gmail.com>", "Treffen am Donnerstag \x96 R\xE4ume sind gebucht", "20231114",
         "1701", "Hallo Lukas,\r\n\r\ndie R\xE4ume f\xFCr Donnerstag sind gebucht: 14 bis 16 Uhr, zweiter Stock.", "0",
         "1"},
        {"iso_8859_1_plain.eml", "20060602122940.GA12345@example.ch", "\"Keller, Hans\" <h.keller@example.ch>",
         "Gr\xFC\xDF" "e aus Z\xFCrich", "20060602", "1429", "Lieber Lukas,\r\n\r\nsch\xF6ne Gr\xFC\xDF" "e aus Z\xFCrich.",
         "0", "0"},
    };
    for (const auto& row : kRows) {
        HostRecord record;
        std::string uid;
        Problem problem;
        ASSERT_TRUE(ItemToMail(Item{Read(row.file), 3, true}, row.file, Berlin(), &record, &uid, nullptr, &problem))
            << row.file << ": " << problem.reason;
        EXPECT_EQ(uid, row.uid);
        EXPECT_EQ(*record.Value("6"), row.from);
        EXPECT_EQ(*record.Value("9"), row.subject);
        EXPECT_EQ(*record.Value("11.D"), row.date);
        EXPECT_EQ(*record.Value("11.T"), row.time);
        EXPECT_EQ(record.Value("10")->rfind(row.bodyStart, 0), 0u) << *record.Value("10");
        EXPECT_EQ(*record.Value("15"), row.attachment) << row.file;
        EXPECT_EQ(*record.Value("23"), row.priority) << row.file;
        EXPECT_EQ(*record.Value("13"), "1");
        EXPECT_EQ(*record.Value("2"), "2");  // Sent
    }
}

// The header lines of a message's header block, each with its folding,
// and the rest of the message.
std::vector<std::string> HeaderLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text.substr(0, text.find("\n\n") != std::string::npos ? text.find("\n\n")
                                                                                  : text.find("\r\n\r\n")));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty())
            lines.back() += '\n' + line;
        else
            lines.push_back(line);
    }
    return lines;
}

std::string Body(const std::string& text) {
    const size_t lf = text.find("\n\n"), crlf = text.find("\r\n\r\n");
    return lf != std::string::npos ? text.substr(lf + 2) : text.substr(crlf + 4);
}

TEST(Mail, AMergeRewritesOnlyWhatChangedAndKeepsTheRestByteForByte) {
    static const struct {
        const char *readId, *value;
        std::vector<std::string> headers;  // the headers it rewrites
    } kChanges[] = {
        {"13", "1", {}},  // read on the device (and, as every row, moved to Saved)
        {"9", "Neuer Betreff \x80", {"Subject"}},
        {"23", "0", {"X-Priority"}},
        {"10", "Neuer Text\r\nzwei Zeilen\r\n", {"Content-Type", "Content-Transfer-Encoding"}},
    };
    static const struct {
        const char *file, *survivor;  // survivor: what a new body leaves of the other parts
    } kFixtures[] = {
        {"thunderbird_alternative_attachment.eml", "JVBERi0xLjQK"},
        {"gmail_html_plain.eml", "<div dir=3D\"ltr\">Hallo Lukas,"},
        {"iso_8859_1_plain.eml", "Neuer Text\nzwei Zeilen\n"},
    };
    for (const auto& fixture : kFixtures) {
        const Item base{Read(fixture.file), 1, false};
        HostRecord record;
        Problem problem;
        ASSERT_TRUE(ItemToMail(base, fixture.file, Berlin(), &record, nullptr, nullptr, &problem)) << problem.reason;
        for (const auto& change : kChanges) {
            const std::string what = std::string(fixture.file) + " field " + change.readId;
            HostRecord changed = record;
            changed.folder = 4;
            for (auto& field : changed.fields) {
                if (field.first == change.readId) field.second = change.value;
                if (field.first == "2") field.second = "3";  // FolderID and Type of Saved
                if (field.first == "3") field.second = "1";
            }
            Item merged;
            ASSERT_TRUE(MergeMail(base, changed, Berlin(), &merged, &problem)) << what << ": " << problem.reason;
            EXPECT_EQ(merged.folder, 4u);
            EXPECT_EQ(merged.seen, *changed.Value("13") == "1");
            HostRecord back;
            ASSERT_TRUE(ItemToMail(merged, fixture.file, Berlin(), &back, nullptr, nullptr, &problem)) << problem.reason;
            EXPECT_EQ(back.fields, changed.fields) << what << "\n" << merged.text;
            // Every other header line stays as it was, in its order.
            std::vector<std::string> kept, now;
            for (const std::string& line : HeaderLines(base.text)) {
                const std::string name = line.substr(0, line.find(':'));
                if (std::find(change.headers.begin(), change.headers.end(), name) == change.headers.end())
                    kept.push_back(line);
            }
            for (const std::string& line : HeaderLines(merged.text))
                if (std::find(kept.begin(), kept.end(), line) != kept.end()) now.push_back(line);
            EXPECT_EQ(now, kept) << what;
            if (change.readId == std::string("10"))
                EXPECT_NE(merged.text.find(fixture.survivor), std::string::npos) << what << "\n" << merged.text;
            else
                EXPECT_EQ(Body(merged.text), Body(base.text)) << what;
        }
    }
}

// Merged from the record as last synchronised, a message read on the
// handheld keeps its Date after the handheld's zone setting changed, though
// the message read in the new zone would give the handheld another time.
TEST(Mail, AZoneChangedSinceTheLastSyncIsNoDeviceEdit) {
    const Item base{Read("iso_8859_1_plain.eml"), 1, false};
    HostRecord lastSynced;
    Problem problem;
    ASSERT_TRUE(ItemToMail(base, "m.eml", Berlin(), &lastSynced, nullptr, nullptr, &problem)) << problem.reason;
    HostRecord device = lastSynced;
    for (auto& field : device.fields)
        if (field.first == "13") field.second = "1";
    Settings tokyo = Berlin();
    tokyo.timezone = "Asia/Tokyo";
    Item merged;
    ASSERT_TRUE(MergeMail(base, device, tokyo, &merged, &problem, &lastSynced)) << problem.reason;
    EXPECT_TRUE(merged.seen);
    EXPECT_EQ(HeaderLines(merged.text), HeaderLines(base.text));
}

TEST(Mail, BadInputIsAnErrorWithNameAndLineAndOddButSoundInputReads) {
    const struct {
        std::string text;
        uint32_t line;                      // 0 with reason null: reads
        const char *reason, *subject, *body;  // part of the reason; what a good row reads
    } kRows[] = {
        {"", 0, "empty", nullptr, nullptr},
        {"From: a@b.example\nSubject: cut off", 2, "middle", nullptr, nullptr},
        {"From: a@b.example\nSubject: Gr\xFC\xDF" "e\n\nText\n", 2, "UTF-8", nullptr, nullptr},
        {std::string("\x7F" "ELF\x02\x01\x01\0\0\0\n\n", 12), 1, "NUL", nullptr, nullptr},
        {" folded\nFrom: a@b.example\n\n", 1, "continuation", nullptr, nullptr},
        {"From: a@b.example\nno header here\n\nText\n", 2, "no header", nullptr, nullptr},
        {"From: a@b.example\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\nContent-Type: text/plain\n\nhi\n", 7,
         "closing boundary", nullptr, nullptr},
        {"From: a@b.example\nSubject: Only headers\n", 0, nullptr, "Only headers", ""},
        {"Subject: Old Mac\rFrom: a@b.example\r\rText\r", 0, nullptr, "Old Mac", "Text\r\n"},
        {"Subject: =?Shift_JIS?B?k/qWe4zq?=\r\nContent-Type: text/plain; charset=Shift_JIS\r\n\r\n\x93\xfa\r\n", 0,
         nullptr, "???", "?\r\n"},
        {"Subject:\n =?UTF-8?Q?folded_?=\n =?UTF-8?Q?words?=\nContent-Type: text/html\n\n<p>A &amp; B &#0;</p><p>C</p>", 0,
         nullptr, "folded words", "A & B &#0;\r\nC"},
    };
    for (const auto& row : kRows) {
        HostRecord record;
        Problem problem;
        const bool ok = ItemToMail(Item{row.text, 1, false}, "bad.eml", Berlin(), &record, nullptr, nullptr, &problem);
        EXPECT_EQ(ok, row.reason == nullptr) << row.text;
        if (!ok) {
            EXPECT_EQ(problem.name, "bad.eml");
            EXPECT_EQ(problem.line, row.line) << row.text;
            EXPECT_NE(problem.reason.find(row.reason), std::string::npos) << problem.reason;
        } else {
            EXPECT_EQ(*record.Value("9"), row.subject);
            EXPECT_EQ(*record.Value("10"), row.body);
        }
    }
}

TEST(Mail, WhatTheDeviceCannotHoldIsTransliteratedWithAWarningAndIsNoChange) {
    const Item base{"From: =?UTF-8?Q?=C5=81ukasz?= <l@example.org>\nSubject: =?UTF-8?Q?Gda=C5=84sk?=\n\nCze\xC5\x9B\xC4\x87\n",
                    1, false};
    HostRecord record;
    std::vector<std::string> warnings;
    Problem problem;
    ASSERT_TRUE(ItemToMail(base, "pl.eml", Berlin(), &record, nullptr, &warnings, &problem));
    EXPECT_EQ(*record.Value("6"), "Lukasz <l@example.org>");
    EXPECT_EQ(*record.Value("9"), "Gdansk");
    EXPECT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0].rfind("pl.eml: ", 0), 0u);
    Item merged;
    ASSERT_TRUE(MergeMail(base, record, Berlin(), &merged, &problem));
    EXPECT_EQ(merged.text, base.text);
}

// Python's mailbox and email modules read a Maildir++ tree of our messages:
// folder 1 the top, the others .Outbox, .Sent, .Saved; read mail in cur/
// with the S flag.  Ordinary mail reads as it should; the generated
// records' messages, odd values and all, read without a failure.
TEST(Mail, PythonReadsAMaildirOfWhatWeWrite) {
    static const struct {
        uint32_t folder;
        const char *isRead, *from, *to, *subject, *date, *time, *priority, *sms, *body;
        const char* expected;  // what Python reads after folder, subfolder, flag and Message-ID
    } kRows[] = {
        {1, "1", "Anna Berger <anna@example.org>", "Lukas Hofer <lukas@example.net>", "Treffen", "20030415", "0930",
         "1", "0", "Hallo Lukas,\r\nbis Donnerstag.\r\n",
         "Anna Berger <anna@example.org>\tLukas Hofer <lukas@example.net>\tTreffen\t2003-04-15T09:30:00+02:00\t"
         "3 (Normal)\t\tHallo Lukas,\\nbis Donnerstag.\\n"},
        {1, "0", "J\xF6rg M\xFCller <joerg@example.de>", "lukas@example.net, Bob <bob@example.com>",
         "Gr\xFC\xDF" "e aus M\xFCnchen \x80 5", "20231114", "1701", "2", "0", "Gr\xFC\xDF" "e = 5\r\n",
         "J\xC3\xB6rg M\xC3\xBCller <joerg@example.de>\tlukas@example.net, Bob <bob@example.com>\t"
         "Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen \xE2\x82\xAC 5\t2023-11-14T17:01:00+01:00\t5 (Lowest)\t\t"
         "Gr\xC3\xBC\xC3\x9F" "e = 5\\n"},
        {2, "1", "+491701234567", "+491709876543", "", "20240229", "2359", "1", "1", "Bin gleich da",
         "+491701234567\t+491709876543\t\t2024-02-29T23:59:00+01:00\t3 (Normal)\t1\tBin gleich da"},
        {3, "1", "Lukas <lukas@example.net>", "\"Berger, Anna\" <anna@example.org>", "Ein Betreff, der l\xE4nger ist "
         "als eine Zeile eines Kopfes sein sollte, damit er gefaltet wird", "20030801", "0000", "0", "0",
         "Eine Zeile, die l\xE4nger ist als sechsundsiebzig Zeichen, damit sie weich umbrochen wird.\r\n  \r\n",
         "Lukas <lukas@example.net>\t\"Berger, Anna\" <anna@example.org>\tEin Betreff, der l\xC3\xA4nger ist als eine "
         "Zeile eines Kopfes sein sollte, damit er gefaltet wird\t2003-08-01T00:00:00+02:00\t1 (Highest)\t\tEine "
         "Zeile, die l\xC3\xA4nger ist als sechsundsiebzig Zeichen, damit sie weich umbrochen wird.\\n  \\n"},
        {4, "0", "anna@example.org", "", "Entwurf", "", "", "1", "0", "",
         "anna@example.org\t\tEntwurf\t\t3 (Normal)\t\t"},
    };
    static const char* const kFolders[] = {"", "", "/.Outbox", "/.Sent", "/.Saved"};
    static const char* const kNames[] = {"", "INBOX", "Outbox", "Sent", "Saved"};
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("morvane-maildir-" + std::to_string(getpid()));
    const auto store = [&root](const Item& item, const std::string& uid) {
        const std::filesystem::path folder = root.string() + kFolders[item.folder <= 4 ? item.folder : 0];
        for (const char* sub : {"cur", "new", "tmp"}) std::filesystem::create_directories(folder / sub);
        std::ofstream(folder / "cur" / (uid + ".host:2," + (item.seen ? "S" : "")), std::ios::binary) << item.text;
    };
    std::set<std::string> expected, generated;
    for (size_t k = 0; k < sizeof kRows / sizeof kRows[0]; ++k) {
        const auto& row = kRows[k];
        HostRecord record = Generated(0);
        record.folder = row.folder;
        const std::string folderId = std::to_string(row.folder - 1);
        const std::pair<const char*, const char*> values[] = {
            {"13", row.isRead}, {"6", row.from},   {"5", row.to},       {"9", row.subject}, {"11.D", row.date},
            {"11.T", row.time}, {"23", row.priority}, {"16", row.sms}, {"10", row.body},   {"2", folderId.c_str()},
            {"3", row.folder == 1 ? "0" : "1"}, {"14", row.folder == 3 ? "1" : "0"}};
        for (auto& field : record.fields)
            for (const auto& value : values)
                if (field.first == value.first) field.second = value.second;
        Item item;
        Problem problem;
        ASSERT_TRUE(MailToItem(record, "m" + std::to_string(k), Berlin(), &item, &problem)) << problem.reason;
        // Ordinary mail needs no header of ours but the SMS mark.
        size_t own = 0;
        for (size_t at = 0; (at = item.text.find("\nX-Morvane-", at)) != std::string::npos; ++at) ++own;
        EXPECT_EQ(own, row.sms[0] == '1' ? 1u : 0u) << item.text;
        store(item, "m" + std::to_string(k));
        expected.insert(std::string(kNames[row.folder]) + "\tcur\t" + (item.seen ? "S" : "-") + "\t<m" +
                        std::to_string(k) + "@morvane.invalid>\t" + row.expected);
    }
    for (size_t k = 0; k < 40; ++k) {
        Item item;
        Problem problem;
        ASSERT_TRUE(MailToItem(Generated(k), "r" + std::to_string(k), Berlin(), &item, &problem));
        store(item, "r" + std::to_string(k));
        generated.insert("<r" + std::to_string(k) + "@morvane.invalid>");
    }
    const std::string command = "python3 " MORVANE_SOURCE_DIR "/tests/pim/mail_maildir_check.py " + root.string();
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << output;
    std::filesystem::remove_all(root);
    std::set<std::string> read, readGenerated;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() > 3 && fields[3].rfind("<r", 0) == 0)
            readGenerated.insert(fields[3]);
        else
            read.insert(line);
    }
    EXPECT_EQ(read, expected);
    EXPECT_EQ(readGenerated, generated);
}

}  // namespace
}  // namespace morvane_pim
