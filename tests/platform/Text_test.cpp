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

namespace {

TEST(DecodeUtf8, KeepsValidTextAndReplacesEachInvalidSequenceOnce) {
    const std::string r = "\xEF\xBF\xBD";
    struct Case {
        std::string bytes, text;
    };
    const Case cases[] = {
        {"84.1.2.3", "84.1.2.3"},
        {"\xEF\xBB\xBFgood", "good"},                      // byte-order mark dropped
        {"a\xEF\xBB\xBF", "a\xEF\xBB\xBF"},                // only a leading one
        {"Gr\xC3\xBC\xC3\x9F", "Gr\xC3\xBC\xC3\x9F"},      // two-byte sequences
        {"\xF0\x9F\x93\xA7", "\xF0\x9F\x93\xA7"},          // four bytes
        {"\xC0\xAF", r},                                   // overlong "/"
        {"\xE0\x80\xAF", r},                               // overlong in three bytes
        {"\xED\xA0\x80x", r + "x"},                        // a surrogate
        {"\xF4\x90\x80\x80", r},                           // beyond U+10FFFF
        {"ok\xE2\x82", "ok" + r},                          // truncated at the end
        {"\xE2\x82 x", r + " x"},                          // truncated before a blank
        {"\x80\x80", r + r},                               // stray continuations
        {"\xFF", r},                                       // never a lead byte
        {std::string("a\0b", 3), std::string("a\0b", 3)},  // NUL is text
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::DecodeUtf8(c.bytes), c.text) << c.bytes;
    }
}

TEST(ControlCharacters, LineBreaksNulAndControlsAreFoundAndReplaced) {
    struct Case {
        std::string text;
        bool lineBreakOrNul, control;
        std::string replaced;
    };
    const Case cases[] = {
        {"plain text", false, false, "plain text"},
        {"tab\there", false, true, "tab?here"},
        {"cr\r", true, true, "cr?"},
        {"lf\n", true, true, "lf?"},
        {std::string("nul\0", 4), true, true, "nul?"},
        {"del\x7F", false, true, "del?"},
        {"\xC3\xBC", false, false, "\xC3\xBC"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::HasLineBreakOrNul(c.text), c.lineBreakOrNul) << c.text;
        EXPECT_EQ(platform::HasControl(c.text), c.control) << c.text;
        EXPECT_EQ(platform::ReplaceControls(c.text, '?'), c.replaced) << c.text;
    }
}

}  // namespace
