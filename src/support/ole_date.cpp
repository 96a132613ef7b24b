#include "support/ole_date.h"

#include "support/decimal_text.h"
#include "support/gregorian_days.h"

#include <math.h>
#include <stdint.h>

const char kOleInvalidDateText[] = "Invalid DateTime";

namespace {

constexpr int kSecondsPerDay = 86400;
// Half a second in days: decomposing rounds to the nearest second.
constexpr double kHalfSecond = 1.0 / (2.0 * kSecondsPerDay);

constexpr int kMinYear = 100;
constexpr int kMaxYear = 9999;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

// The number of days since 30 December 1899 of a Gregorian date.  The
// calendar is counted in 400-year eras whose years begin on 1 March, so
// that the leap day falls last in a year.  Valid for year >= 1.
constexpr int32_t OleDayFromCivil(int year, int month, int day) {
    const int y = month <= 2 ? year - 1 : year;
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int marchMonth = month > 2 ? month - 3 : month + 9;
    const int dayOfYear = (153 * marchMonth + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    // 693,899 days lie between 1 March of year 0 and 30 December 1899.
    return era * 146097 + dayOfEra - 693899;
}

static_assert(OleDayFromCivil(1899, 12, 30) == 0, "epoch");
static_assert(OleDayFromCivil(1900, 1, 1) == 2, "1900 starts on day 2");

constexpr int32_t kMinDay = OleDayFromCivil(kMinYear, 1, 1);
constexpr int32_t kMaxDay = OleDayFromCivil(kMaxYear, 12, 31);

// The Gregorian day count of OLE day 0, 30 December 1899.
constexpr uint32_t kDayCountOfOleDayZero = GregorianDayCount(1899, 12, 30);
static_assert(kDayCountOfOleDayZero == 693899, "the same epoch as OleDayFromCivil");

bool PartsAreValid(const OleDateParts& p) {
    if (p.year < kMinYear || p.year > kMaxYear || p.month < 1 || p.month > 12) {
        return false;
    }
    if (p.day < 1 || p.day > DaysInMonth(p.year, p.month)) {
        return false;
    }
    return p.hour >= 0 && p.hour <= 23 && p.minute >= 0 && p.minute <= 59 &&
           p.second >= 0 && p.second <= 59;
}

// Appends text to the output, keeping count of the whole length.
struct TextSink {
    char* out;
    size_t size;
    size_t length;

    void Put(char c) {
        if (length + 1 < size) {
            out[length] = c;
        }
        ++length;
    }
    // Writes value (0..99) as two digits; out has room for them.
    void PutPair(unsigned value) {
        WriteDigitPair(value, out + length);
        length += 2;
    }
    // value's digits, with zeros in front up to digits characters.
    void PutNumber(int value, int digits) {
        unsigned v = static_cast<unsigned>(value);
        // A decomposed part fits its width (years up to 9999, the rest up
        // to 59): where out has room it is written in place, two digits at
        // a time.
        const unsigned limit = digits == 4 ? 10000u : digits == 2 ? 100u : 0u;
        if (v < limit && length + static_cast<size_t>(digits) < size) {
            if (digits == 4) {
                PutPair(v / 100);
                v %= 100;
            }
            PutPair(v);
            return;
        }
        char buffer[12];
        int n = 0;
        do {
            buffer[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0 && n < 12);
        while (n < digits) {
            buffer[n++] = '0';
        }
        while (n > 0) {
            Put(buffer[--n]);
        }
    }
    void PutText(const char* text) {
        while (*text != '\0') {
            Put(*text++);
        }
    }
    size_t Finish() {
        if (size > 0) {
            out[length < size ? length : size - 1] = '\0';
        }
        return length;
    }
};

}  // namespace

bool ComposeOleDate(const OleDateParts& parts, double* date) {
    if (!PartsAreValid(parts)) {
        return false;
    }
    const int32_t day = OleDayFromCivil(parts.year, parts.month, parts.day);
    const double time =
        (parts.hour * 3600 + parts.minute * 60 + parts.second) / static_cast<double>(kSecondsPerDay);
    // Before the epoch the fraction still counts forward from midnight, so
    // it is stored with the day's sign.
    *date = day + (day >= 0 ? time : -time);
    return true;
}

bool DecomposeOleDate(double date, OleDateParts* parts) {
    // The half second is added away from zero, as MFC does; the integer
    // part of the result is the day whatever the sign.
    const double rounded = date + (date > 0.0 ? kHalfSecond : -kHalfSecond);
    if (!(rounded > kMinDay - 1.0 && rounded < kMaxDay + 1.0)) {
        return false;  // also NaN
    }
    const int32_t day = static_cast<int32_t>(rounded);
    // The cast cuts toward zero, so within the range |day| is exactly the
    // whole days of |rounded|: what floor() would give, without calling it.
    const double magnitude = fabs(rounded);
    const double wholeDays = static_cast<double>(day < 0 ? -day : day);
    int seconds = static_cast<int>((magnitude - wholeDays) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {
        seconds = kSecondsPerDay - 1;
    }
    // The seconds and the day count are at least 0: unsigned, dividing them
    // needs no sign corrections.
    const uint32_t clock = static_cast<uint32_t>(seconds);
    const GregorianDate civil = GregorianDateOf(static_cast<uint32_t>(int64_t{day} + kDayCountOfOleDayZero));
    OleDateParts result;
    result.year = civil.year;
    result.month = civil.month;
    result.day = civil.day;
    result.hour = static_cast<int>(clock / 3600);
    result.minute = static_cast<int>(clock / 60 % 60);
    result.second = static_cast<int>(clock % 60);
    *parts = result;
    return true;
}

size_t FormatOleDate(double date, const char* format, char* out, size_t outSize) {
    TextSink sink{out, outSize, 0};
    OleDateParts p;
    if (!DecomposeOleDate(date, &p)) {
        sink.PutText(kOleInvalidDateText);
        return sink.Finish();
    }
    for (const char* f = format != nullptr ? format : ""; *f != '\0'; ++f) {
        if (*f != '%' || f[1] == '\0') {
            sink.Put(*f);
            continue;
        }
        ++f;
        switch (*f) {
        case 'Y': sink.PutNumber(p.year, 4); break;
        case 'm': sink.PutNumber(p.month, 2); break;
        case 'd': sink.PutNumber(p.day, 2); break;
        case 'H': sink.PutNumber(p.hour, 2); break;
        case 'M': sink.PutNumber(p.minute, 2); break;
        case 'S': sink.PutNumber(p.second, 2); break;
        case '%': sink.Put('%'); break;
        default:
            sink.Put('%');
            sink.Put(*f);
            break;
        }
    }
    return sink.Finish();
}

COleDateTime::COleDateTime(int year, int month, int day, int hour, int minute, int second) {
    SetDateTime(year, month, day, hour, minute, second);
}

int COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second) {
    const OleDateParts parts{year, month, day, hour, minute, second};
    status_ = ComposeOleDate(parts, &date_) ? valid : invalid;
    return status_;
}

int COleDateTime::SetDate(int year, int month, int day) {
    return SetDateTime(year, month, day, 0, 0, 0);
}

int COleDateTime::SetTime(int hour, int minute, int second) {
    return SetDateTime(1899, 12, 30, hour, minute, second);
}

bool COleDateTime::GetParts(OleDateParts* parts) const {
    return status_ == valid && DecomposeOleDate(date_, parts);
}

size_t COleDateTime::Format(const char* format, char* out, size_t outSize) const {
    if (status_ != valid) {
        TextSink sink{out, outSize, 0};
        sink.PutText(kOleInvalidDateText);
        return sink.Finish();
    }
    return FormatOleDate(date_, format, out, outSize);
}
