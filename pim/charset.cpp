// The device's character sets through iconv: every set iconv knows, with
// its transliteration for what the device cannot hold.
#include "pim/charset.h"

#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <stdint.h>

#include <utility>
#include <vector>

namespace morvane_pim {

namespace {

// iconv descriptors, opened once per pair of sets and thread: opening one
// costs more than converting a contact's fields.
class Descriptors {
public:
    ~Descriptors() {
        for (const Entry& e : entries_) iconv_close(e.cd);
    }
    // Reset to the initial shift state; (iconv_t)-1 when iconv knows no such pair.
    iconv_t Get(const char* to, const char* from) {
        for (const Entry& e : entries_)
            if (e.to == to && e.from == from) {
                iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
                return e.cd;
            }
        iconv_t cd = iconv_open(to, from);
        if (cd != reinterpret_cast<iconv_t>(-1)) entries_.push_back({to, from, cd});
        return cd;
    }

private:
    struct Entry {
        std::string to, from;
        iconv_t cd;
    };
    std::vector<Entry> entries_;
};

// One iconv conversion of the whole text.  A sequence the source set does
// not define is handed to onInvalid, which appends its replacement and says
// how many input bytes it took (at least one).
template <typename OnInvalid>
bool Convert(const char* to, const char* from, const std::string& text, std::string* out, OnInvalid onInvalid) {
    out->clear();
    static thread_local Descriptors descriptors;
    iconv_t cd = descriptors.Get(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char buffer[4096];
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        const size_t done = iconv(cd, &in, &inLeft, &o, &oLeft);
        out->append(buffer, static_cast<size_t>(o - buffer));
        if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
        // EILSEQ or EINVAL (a sequence cut at the end): replace and go on.
        const size_t taken = onInvalid(static_cast<unsigned char>(*in), out);
        in += taken;
        inLeft -= taken;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

// Whether the set holds every ASCII character as that byte, both ways, as
// most sets do (not Shift_JIS as iconv knows it, where 0x5C is the yen
// sign, nor the sets that switch with an escape).  An ASCII text in such a
// set is its own UTF-8: a contact's fields mostly are, and handing each to
// iconv cost more than the rest of making its vCard.  Asked once per set
// and thread.
bool KeepsAscii(const std::string& charset) {
    static thread_local std::vector<std::pair<std::string, bool>> known;
    for (const auto& entry : known)
        if (entry.first == charset) return entry.second;
    std::string ascii, read, written;
    for (int c = 0; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
    const auto drop = [](unsigned char, std::string*) { return size_t{1}; };
    const bool keeps = Convert("UTF-8", charset.c_str(), ascii, &read, drop) && read == ascii &&
                       Convert(charset.c_str(), "UTF-8", ascii, &written, drop) && written == ascii;
    known.emplace_back(charset, keeps);
    return keeps;
}

}  // namespace

bool DeviceToUtf8(const std::string& text, const std::string& charset, std::string* out) {
    if (IsAscii(text) && KeepsAscii(charset)) {
        *out = text;
        return true;
    }
    return Convert("UTF-8", charset.c_str(), text, out, [](unsigned char, std::string* o) {
        AppendUtf8(0xFFFD, o);
        return size_t{1};
    });
}

bool Utf8ToDevice(const std::string& text, const std::string& charset, std::string* out, bool* lossy) {
    *lossy = false;
    if (IsAscii(text) && KeepsAscii(charset)) {
        *out = text;
        return true;
    }
    std::string valid;
    // Bytes that are not UTF-8 are read as Latin-1, so that nothing is dropped.
    if (!IsValidUtf8(text)) {
        for (unsigned char c : text) AppendUtf8(c, &valid);
    }
    const std::string& source = valid.empty() ? text : valid;
    const std::string target = charset + "//TRANSLIT";
    // iconv transliterates by the LC_CTYPE in force; the C locale knows no
    // table, so this thread borrows C.UTF-8's for the conversion.  It is
    // loaded once: loading it took ten times as long as a conversion.
    static const locale_t translit = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    locale_t previous = translit != static_cast<locale_t>(0) ? uselocale(translit) : static_cast<locale_t>(0);
    const bool converted = Convert(target.c_str(), "UTF-8", source, out, [](unsigned char, std::string* o) {
            o->push_back('?');
            return size_t{1};
        });
    if (translit != static_cast<locale_t>(0)) uselocale(previous);
    if (!converted) return false;
    // Whether the conversion kept every character: the way back must give
    // the same text.
    std::string back;
    DeviceToUtf8(*out, charset, &back);
    *lossy = back != source;
    return true;
}

}  // namespace morvane_pim
