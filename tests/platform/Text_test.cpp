#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Code points as the platform's wide text spells them: a surrogate pair where wchar_t has
// 16 bits (Windows), one unit elsewhere.
std::wstring Wide(std::u32string_view points) {
    std::wstring wide;
    for (char32_t point : points) {
        if (sizeof(wchar_t) == 2 && point >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(point);
        }
    }
    return wide;
}

TEST(WideText, ValidUtf8GoesThereAndBackUnchanged) {
    struct Case {
        std::string utf8;
        std::u32string points;
    };
    const Case cases[] = {
        {"", U""},
        {"C:\\Program Files\\ZARVOUpdater", U"C:\\Program Files\\ZARVOUpdater"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         U"Gr\u00FC\u00DFe"},
        {"\xE2\x82\xAC 5", U"\u20AC 5"},
        {"\xF0\x9F\x93\xA7 mail", U"\U0001F4E7 mail"},
        {"\xEF\xBF\xBF", U"\uFFFF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ToWide(c.utf8), Wide(c.points)) << c.utf8;
        EXPECT_EQ(platform::FromWide(Wide(c.points)), c.utf8) << c.utf8;
    }
}

TEST(WideText, InvalidUtf8BecomesReplacementCharactersNotGarbage) {
    struct Case {
        std::string utf8;
        std::u32string points;
    };
    const Case cases[] = {
        {"a\xFF"
         "b",
         U"a\uFFFDb"},
        {"\xC3", U"\uFFFD"},              // cut off at the end
        {"\xC3(", U"\uFFFD("},            // continuation missing
        {"\xC0\xAF", U"\uFFFD"},          // overlong "/"
        {"\xED\xA0\x80", U"\uFFFD"},      // a surrogate, encoded
        {"\xF4\x90\x80\x80", U"\uFFFD"},  // beyond U+10FFFF
        {"\xE2\x82"
         "x",
         U"\uFFFDx"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ToWide(c.utf8), Wide(c.points)) << c.utf8;
    }
}

TEST(WideText, UnpairedSurrogatesFromTheSystemBecomeReplacementCharacters) {
    std::wstring lone(1, static_cast<wchar_t>(0xDC00));
    EXPECT_EQ(platform::FromWide(L"a" + lone + L"b"),
              "a\xEF\xBF\xBD"
              "b");
    std::wstring high(1, static_cast<wchar_t>(0xD83D));
    EXPECT_EQ(platform::FromWide(high), "\xEF\xBF\xBD");
}

}  // namespace
