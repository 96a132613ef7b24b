// The demo handheld: a few records of everyday use in every database, on a
// device that has never been synchronised.
#include "device/simulator.h"

namespace tethra_sim {

namespace {

void AddSchedule(DeviceImage& image) {
    // Timed meeting with an alarm 15 minutes before the start; the device
    // carries the alarm lead as a time of day (00:15).
    image.AddRecord(1, {{"S_DESCRIPTION4", TextValue("Project review")},
                        {"S_LOCATION", TextValue("Room 4.12")},
                        {"S_START_DATE", DateValue(2026, 12, 8)},
                        {"S_END_DATE", DateValue(2026, 12, 8)},
                        {"S_START_TIME", TimeValue(9, 30, 0)},
                        {"S_END_TIME", TimeValue(10, 30, 0)},
                        {"S_ALLDAY_FLAG", ByteValue(0)},
                        {"S_ALARM_FLAG", ByteValue(1)},
                        {"S_ALARM_TIME", TimeValue(0, 15, 0)},
                        {"S_REPEAT_FLAG", ByteValue(0)},
                        {"S_CATEGORY", TextValue("Business")}});
    // Repeating all-day event without an end (repeat end date 0).
    image.AddRecord(1, {{"S_DESCRIPTION4", TextValue("Anna's birthday")},
                        {"S_START_DATE", DateValue(2026, 3, 14)},
                        {"S_END_DATE", DateValue(2026, 3, 14)},
                        {"S_ALLDAY_FLAG", ByteValue(1)},
                        {"S_EVENT_FLAG", ByteValue(1)},
                        {"S_ALARM_FLAG", ByteValue(0)},
                        {"S_REPEAT_FLAG", ByteValue(1)},
                        {"S_REPEAT_PREIOD", ByteValue(5)},
                        {"S_REPEAT_COUNT", ByteValue(1)},
                        {"S_FIELD_REPEAT_END", DateValue(1899, 12, 30)},
                        {"S_CATEGORY", TextValue("Personal")}});
    // Weekly on Tuesday and Thursday until the end of March.
    image.AddRecord(1, {{"S_DESCRIPTION4", TextValue("Yoga")},
                        {"S_LOCATION", TextValue("Studio Kern")},
                        {"S_START_DATE", DateValue(2026, 12, 1)},
                        {"S_END_DATE", DateValue(2026, 12, 1)},
                        {"S_START_TIME", TimeValue(18, 0, 0)},
                        {"S_END_TIME", TimeValue(19, 15, 0)},
                        {"S_REPEAT_FLAG", ByteValue(1)},
                        {"S_REPEAT_PREIOD", ByteValue(2)},
                        {"S_REPEAT_COUNT", ByteValue(1)},
                        {"S_DAYPATTERN", ByteValue(0x0A)},
                        {"S_FIELD_REPEAT_END", DateValue(2027, 3, 31)},
                        {"S_NOTEMEMO", TextValue("Bring the mat.\nCourse fee paid.")}});
}

void AddTodo(DeviceImage& image) {
    image.AddRecord(6, {{"S_DESCRIPTION3", TextValue("Renew passport")},
                        {"S_START_DATE", DateValue(2026, 12, 1)},
                        {"S_END_DATE", DateValue(2026, 12, 20)},
                        {"S_COMPLETED", ByteValue(0)},
                        {"S_PRIORITY", ByteValue(4)},
                        {"S_CATEGORY", TextValue("Personal")}});
    image.AddRecord(6, {{"S_DESCRIPTION3", TextValue("Send quarterly report")},
                        {"S_END_DATE", DateValue(2026, 11, 30)},
                        {"S_COMPLETED", ByteValue(1)},
                        {"S_COMPLETION_DATE", DateValue(2026, 11, 28)},
                        {"S_PRIORITY", ByteValue(2)},
                        {"S_NOTEMEMO", TextValue("Figures from Lena")},
                        {"S_CATEGORY", TextValue("Business")}});
}

void AddAddresses(DeviceImage& image) {
    image.AddRecord(7, {{"S_NAME", TextValue("Berger, Anna M.")},
                        {"S_FIRST_NAME", TextValue("Anna")},
                        {"S_MIDDLE_NAME", TextValue("M.")},
                        {"S_LAST_NAME", TextValue("Berger")},
                        {"S_PHONE_MOBILE", TextValue("+49 170 5550123")},
                        {"S_HOME_EMAIL", TextValue("anna.berger@example.net")},
                        {"S_HOME_ZIP", TextValue("80331")},
                        {"S_CITY_H", TextValue("M\xFCnchen")},
                        {"S_STREET_H", TextValue("Lindenweg 7")},
                        {"S_BIRTHDAY", DateValue(1988, 3, 14)},
                        {"S_CATEGORY", TextValue("Personal")}});
    image.AddRecord(7, {{"S_NAME", TextValue("Okafor, David")},
                        {"S_FIRST_NAME", TextValue("David")},
                        {"S_LAST_NAME", TextValue("Okafor")},
                        {"S_COMPANY", TextValue("Halverd Logistics")},
                        {"S_JOB_POSITION", TextValue("Purchasing")},
                        {"S_BUSINESS_PHONE", TextValue("+44 20 7946 0958")},
                        {"S_BUSINESS_EMAIL", TextValue("d.okafor@halverd.example")},
                        {"S_NOTE1", TextValue("Met at the trade fair.\nPrefers mail.")},
                        {"S_CATEGORY", TextValue("Business")}});
}

void AddMemos(DeviceImage& image) {
    image.AddRecord(8, {{"S_PAGE_TITLE", TextValue("Gate code")},
                        {"S_PAGE_NOTE", TextValue("Gate code\n4711#")},
                        {"S_START_DATETIME", DateTimeValue(2026, 11, 2, 8, 45, 0)},
                        {"S_CREATION_DATETIME", DateTimeValue(2026, 11, 2, 8, 45, 0)}});
    image.AddRecord(8, {{"S_PAGE_TITLE", TextValue("Shopping")},
                        {"S_PAGE_NOTE", TextValue("Shopping\nmilk\neggs")},
                        {"S_START_DATETIME", DateTimeValue(2026, 12, 5, 17, 20, 0)},
                        {"S_CREATION_DATETIME", DateTimeValue(2026, 12, 4, 19, 2, 0)}});
}

// One mail: folder (0 received, 1 outbox, 2 sent, 3 saved), read, sent.
FieldValues Mail(int folder, const char* from, const char* to, const char* subject, const char* body, bool read,
                 bool sent, bool sms, LinkValue when) {
    return {{"S_FOLDERID", NumberValue(folder)},
            {"S_TYPE", ByteValue(folder == 0 ? 0 : 1)},
            {"S_FROM", TextValue(from)},
            {"S_TO", TextValue(to)},
            {"S_SUBJECT", TextValue(subject)},
            {"S_BODY", TextValue(body)},
            {"S_SEND_DATE", when},
            {"S_RECEIVED_DATE", when},
            {"S_IS_READ", ByteValue(read ? 1 : 0)},
            {"S_IS_SENT", ByteValue(sent ? 1 : 0)},
            {"S_ATTACHMENT2", ByteValue(0)},
            {"S_ISSMS", ByteValue(sms ? 1 : 0)},
            {"S_PRIORITY", ByteValue(2)},
            {"S_SIZE", NumberValue(static_cast<int32_t>(std::string(body).size()))}};
}

void AddMail(DeviceImage& image) {
    image.AddRecord(16, Mail(0, "anna.berger@example.net", "me@example.org", "Saturday",
                             "Are we still on for Saturday?\nAnna", true, false, false,
                             DateTimeValue(2026, 12, 3, 20, 14, 0)));
    image.AddRecord(16, Mail(0, "+49 170 5550123", "", "", "Running late, 10 min", false, false, true,
                             DateTimeValue(2026, 12, 5, 8, 2, 0)));
    image.AddRecord(16, Mail(3, "d.okafor@halverd.example", "me@example.org", "Price list 2027",
                             "Please find the new prices below.", true, false, false,
                             DateTimeValue(2026, 11, 20, 11, 30, 0)));
    image.AddRecord(15, Mail(1, "me@example.org", "d.okafor@halverd.example", "Re: Price list 2027",
                             "Thanks, I will check them.", true, false, false,
                             DateTimeValue(2026, 12, 5, 9, 0, 0)));
    image.AddRecord(15, Mail(2, "me@example.org", "anna.berger@example.net", "Re: Saturday",
                             "Yes, see you at 8.", true, true, false, DateTimeValue(2026, 12, 3, 21, 5, 0)));
    image.AddRecord(15, Mail(2, "me@example.org", "team@halverd.example", "Minutes",
                             "Minutes of the review attached.", true, true, false,
                             DateTimeValue(2026, 12, 8, 11, 0, 0)));
}

}  // namespace

// The records were made before the first synchronisation, so no change
// lists are kept yet.
DeviceImage DemoImage() {
    DeviceImage image = EmptyImage();
    AddSchedule(image);
    AddTodo(image);
    AddAddresses(image);
    AddMemos(image);
    AddMail(image);
    for (Database& db : image.databases)
        for (auto& list : db.changes) list.clear();
    return image;
}

}  // namespace tethra_sim
