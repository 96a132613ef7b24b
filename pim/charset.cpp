#include "pim/charset.h"

#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <stdint.h>

namespace morvane_pim {

namespace {

// One iconv conversion of the whole text.  A sequence the source set does
// not define is handed to onInvalid, which appends its replacement and says
// how many input bytes it took (at least one).
template <typename OnInvalid>
bool Convert(const char* to, const char* from, const std::string& text, std::string* out, OnInvalid onInvalid) {
    out->clear();
    iconv_t cd = iconv_open(to, from);
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
    iconv_close(cd);
    return true;
}

void AppendUtf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

bool DeviceToUtf8(const std::string& text, const std::string& charset, std::string* out) {
    return Convert("UTF-8", charset.c_str(), text, out, [](unsigned char, std::string* o) {
        AppendUtf8(0xFFFD, o);
        return size_t{1};
    });
}

bool Utf8ToDevice(const std::string& text, const std::string& charset, std::string* out, bool* lossy) {
    *lossy = false;
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

bool IsValidUtf8(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            code = (code << 6) | (d & 0x3F);
        }
        static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace morvane_pim
