#include "net/mail/MailFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>

using net::mail::Base64;

namespace {

TEST(MailFormat, Base64_EncodesAsRfc4648AndBreaksAfterEveryLineLengthCharacters) {
    const struct {
        std::string data;
        std::size_t lineLength;
        std::string encoded;
    } cases[] = {{"", 76, ""},
                 {"f", 0, "Zg=="},
                 {"fo", 0, "Zm8="},
                 {"foobar", 0, "Zm9vYmFy"},
                 {std::string("\xff\xfe\x00", 3), 0, "//4A"},
                 {"foobar", 1, "Z\r\nm\r\n9\r\nv\r\nY\r\nm\r\nF\r\ny"},
                 {"foob", 3, "Zm9\r\nvYg\r\n=="},
                 {"foo", 4, "Zm9v"},
                 {"foobar", 4, "Zm9v\r\nYmFy"},
                 {std::string(57, '\0'), 76, std::string(76, 'A')},
                 {std::string(58, '\0'), 76, std::string(76, 'A') + "\r\nAA=="}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoded);
        EXPECT_EQ(Base64(c.data, c.lineLength), c.encoded);
    }
}

// Every line length gives the one-line text cut into lines of that length: none empty, none
// longer, and no break before the first or after the last.
TEST(MailFormat, Base64_NoLineIsEmptyOrLongerThanTheLineLength) {
    for (std::size_t size = 1; size <= 20; ++size) {
        const std::string data(size, 'x');
        const std::string single = Base64(data, 0);
        for (std::size_t length = 1; length <= 9; ++length) {
            std::string joined;
            std::string text = Base64(data, length);
            std::size_t start = 0;
            for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
                 start = end + 2) {
                EXPECT_EQ(end - start, length) << size << "/" << length;
                joined += text.substr(start, end - start);
            }
            EXPECT_GE(text.size() - start, 1u);
            EXPECT_LE(text.size() - start, length);
            EXPECT_EQ(joined + text.substr(start), single);
        }
    }
}

}  // namespace

namespace {

TEST(MailFormat, QuotedPrintable_EncodesWhatIsNotPlainAsciiAndEveryLineBreak) {
    struct Case {
        std::string text, encoded;
    };
    const Case cases[] = {
        {"", ""},
        {"good 84.1.2.3", "good 84.1.2.3"},
        {"a=b", "a=3Db"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr=C3=BC=C3=9Fe"},
        {"line 1\r\nline 2", "line 1=0D=0Aline 2"},
        {"trailing blank ", "trailing blank=20"},
        {"trailing tab\t", "trailing tab=09"},
        {"inner\tblank", "inner\tblank"},
        {std::string("nul\0", 4), "nul=00"},
        {"\x7F", "=7F"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(net::mail::QuotedPrintable(c.text), c.encoded) << c.text;
    }
}

TEST(MailFormat, QuotedPrintable_BreaksLongLinesSoftlyWithoutSplittingAnEscape) {
    // 73 characters fit before the soft break "="; an escape that would not fit moves down.
    const std::string text = std::string(71, 'x') + "=y";
    EXPECT_EQ(net::mail::QuotedPrintable(text), std::string(71, 'x') + "=\r\n=3Dy");
    EXPECT_EQ(net::mail::QuotedPrintable(std::string(73, 'x')), std::string(73, 'x'));
    EXPECT_EQ(net::mail::QuotedPrintable(std::string(74, 'x')), std::string(73, 'x') + "=\r\nx");
}

TEST(MailFormat, HeaderText_AsciiStaysReadableTheRestBecomesEncodedWords) {
    struct Case {
        std::string text, header;
    };
    const Case cases[] = {
        {"ZARVOUpdater Success", "ZARVOUpdater Success"},
        {"line\r\nbreak", "line  break"},  // no header injection
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "=?UTF-8?B?R3LDvMOfZQ==?="},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(net::mail::HeaderText(c.text), c.header) << c.text;
    }
}

TEST(MailFormat, HeaderText_LongTextIsSplitIntoWordsBetweenCharacters) {
    // 44 ASCII letters and then "ü": the 45-byte cut would fall inside the two bytes of "ü".
    const std::string text = std::string(44, 'a') + "\xC3\xBC" + std::string(900, 'b');
    const std::string header = net::mail::HeaderText(text);
    const std::string firstWord = header.substr(0, header.find("\r\n "));
    EXPECT_EQ(firstWord, "=?UTF-8?B?" + net::mail::Base64(std::string(44, 'a'), 0) + "?=");
    EXPECT_EQ(header.find("\r\n "), firstWord.size()) << "words are joined by folding";

    // Bytes that only ever continue a character offer no boundary; the words must still come
    // to an end and stay within the limit of 75, and at most 45 bytes a word make seven or more.
    const std::string stray = net::mail::HeaderText(std::string(300, '\x80'));
    std::size_t words = 0;
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 3) {
        end = stray.find("\r\n ", start);
        EXPECT_LE(std::min(end, stray.size()) - start, 75u);
        ++words;
    }
    EXPECT_GE(words, 7u);
}

TEST(MailFormat, MailDate_UsesEnglishNamesAndTheNumericZone) {
    using namespace std::chrono;
    struct Case {
        sys_days day;
        std::string dayAndDate;
    };
    // At noon UTC the date is the same in every zone the tests run in.
    const Case cases[] = {
        {sys_days{year{2025} / February / 1}, "Sat, 01 Feb 2025 "},
        {sys_days{year{2024} / February / 29}, "Thu, 29 Feb 2024 "},
        {sys_days{year{2026} / December / 31}, "Thu, 31 Dec 2026 "},
    };
    for (const Case& c : cases) {
        const std::string date = net::mail::MailDate(c.day + hours(12));
        EXPECT_EQ(date.substr(0, c.dayAndDate.size()), c.dayAndDate);
        EXPECT_TRUE(std::regex_match(date.substr(c.dayAndDate.size()),
                                     std::regex("[0-2][0-9]:[0-5][0-9]:00 [+-][0-9]{4}")))
            << date;
        EXPECT_FALSE(date.ends_with("-0000")) << "that says the zone is unknown; UTC is +0000";
    }
}

}  // namespace
