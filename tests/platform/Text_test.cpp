#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WideText, ValidUtf8GoesThereAndBackUnchanged) {
    // Where wchar_t has 16 bits (Windows) the compiler writes U+10000 and above as a pair.
    struct Case {
        std::string utf8;
        std::wstring wide;
    };
    const Case cases[] = {
        {"", L""},
        {"C:\\Program Files\\ZARVOUpdater", L"C:\\Program Files\\ZARVOUpdater"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         L"Gr\u00FC\u00DFe"},
        {"\xE2\x82\xAC 5", L"\u20AC 5"},
        {"\xF0\x9F\x93\xA7 mail", L"\U0001F4E7 mail"},
        {"\xDF\xBF", L"\u07FF"},              // the last of two bytes
        {"\xE0\xA0\x80", L"\u0800"},          // the first of three
        {"\xEF\xBF\xBF", L"\uFFFF"},          // the last of three
        {"\xF0\x90\x80\x80", L"\U00010000"},  // the first of four
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ToWide(c.utf8), c.wide) << c.utf8;
        EXPECT_EQ(platform::FromWide(c.wide), c.utf8) << c.utf8;
    }
}

TEST(WideText, InvalidUtf8BecomesReplacementCharactersNotGarbage) {
    struct Case {
        std::string utf8;
        std::wstring wide;
    };
    const Case cases[] = {
        {"a\xFF"
         "b",
         L"a\uFFFDb"},
        {"\xC3", L"\uFFFD"},              // cut off at the end
        {"\xC3(", L"\uFFFD("},            // continuation missing
        {"\xC0\xAF", L"\uFFFD"},          // overlong "/"
        {"\xED\xA0\x80", L"\uFFFD"},      // a surrogate, encoded
        {"\xED\xBF\xBF", L"\uFFFD"},      // the last surrogate, U+DFFF
        {"\xF4\x90\x80\x80", L"\uFFFD"},  // beyond U+10FFFF
        {"\xE2\x82"
         "x",
         L"\uFFFDx"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::ToWide(c.utf8), c.wide) << c.utf8;
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
        {"\xED\xBF\xBF", r},                               // the last surrogate, U+DFFF
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
