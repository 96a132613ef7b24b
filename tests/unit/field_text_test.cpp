// Field texts as the host receives them: a CR before every bare LF.
#include "fields/field_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The rule, one character at a time.
std::string Expected(const std::string& source) {
    std::string text;
    bool afterCr = false;
    for (size_t i = 0; i < source.size() && i < kFieldSourceLimit && text.size() < kFieldTextStop; ++i) {
        const char c = source[i];
        if (c == '\0') break;
        if (c == '\n' && !afterCr) text += '\r';
        text += c;
        afterCr = c == '\r';
    }
    return text;
}

TEST(FieldText, CopyTextWithCrLfAddsTheMissingCarriageReturns) {
    const std::vector<std::string> kSources = {
        "", "plain", "a\nb", "a\r\nb", "\n\nend\n", "\r\n\n\r", std::string("cut\0here", 8),
        std::string(kFieldSourceLimit + 10, 'x'),                       // read up to the source limit
        std::string(kFieldSourceLimit, '\n'),                           // every LF doubles: the stop
        std::string(kFieldTextStop - kFieldSourceLimit - 1, 'x') + std::string(kFieldSourceLimit, '\n'),
    };
    std::vector<char> out(kFieldTextSize);
    for (const std::string& source : kSources) {
        const std::string expected = Expected(source);
        const uint32_t written = CopyTextWithCrLf(reinterpret_cast<const uint8_t*>(source.data()),
                                                  static_cast<uint32_t>(source.size()), out.data());
        EXPECT_EQ(expected.size(), written) << source.size();
        EXPECT_EQ(expected, std::string(out.data())) << source.size();
    }
    EXPECT_EQ(0u, CopyTextWithCrLf(nullptr, 5, out.data()));
    EXPECT_EQ('\0', out[0]);
}

}  // namespace
