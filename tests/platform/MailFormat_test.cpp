#include "platform/MailFormat.h"

#include <gtest/gtest.h>

#include <string>

using platform::mail::Base64;

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
