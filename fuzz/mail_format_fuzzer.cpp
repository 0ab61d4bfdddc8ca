#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzInput.h"
#include "net/mail/MailFormat.h"

namespace {

int HexValue(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.substr(i + 1, 2) == "\r\n") {
            i += 2;
        } else if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            Fail("quoted-printable with a stray '='");
        }
    }
    return out;
}

std::string DecodeBase64(std::string_view text) {
    static constexpr std::string_view kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '=') {
            continue;
        }
        std::size_t digit = kDigits.find(c);
        if (digit == std::string_view::npos) {
            Fail("a character outside base64");
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(digit);
        if ((count += 6) >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

// Every line of `text` is at most `limit` characters; lines end with CRLF only.
void CheckLines(std::string_view text, std::size_t limit, const char* what) {
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find("\r\n", begin)) != std::string_view::npos;
         begin = end + 2) {
        if (end - begin > limit) {
            Fail(what);
        }
    }
    if (text.size() - begin > limit) {
        Fail(what);
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool bareCr = text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
        bool bareLf = text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
        if (bareCr || bareLf) {
            Fail("a bare CR or LF");
        }
    }
}

}  // namespace

// The body encodings decode back to the bytes given and keep their lines short; header texts and
// mailboxes never break a header line except by folding.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t lineLength = data[0] % 80;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string quoted = net::mail::QuotedPrintable(text);
    CheckLines(quoted, net::mail::kLineLength, "quoted-printable line too long");
    if (DecodeQuotedPrintable(quoted) != text) {
        Fail("quoted-printable does not decode to the text");
    }
    const std::string base64 = net::mail::Base64(text, lineLength);
    CheckLines(base64, lineLength == 0 ? base64.size() : lineLength, "base64 line too long");
    if (DecodeBase64(base64) != text) {
        Fail("base64 does not decode to the text");
    }
    for (const std::string& header :
         {net::mail::HeaderText(text), net::mail::Mailbox("a@b.example", text)}) {
        std::size_t at = 0;
        while ((at = header.find_first_of("\r\n", at)) != std::string::npos) {
            if (header.compare(at, 3, "\r\n ") != 0) {
                Fail("a header line break that is no folding");
            }
            at += 3;
        }
        if (!net::mail::IsAscii(header)) {
            Fail("a header text that is not ASCII");
        }
    }
    return 0;
}
