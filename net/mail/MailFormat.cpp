#include "net/mail/MailFormat.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <utility>

#include "platform/Clock.h"
#include "platform/Text.h"

namespace net::mail {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Lines are cut after exactly `lineLength` characters, even inside a group of four: decoders skip
// line breaks wherever they are, and a break before the first group would start with an empty line.
std::string Base64(std::string_view data, std::size_t lineLength) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        std::uint32_t group = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) {
            group |= static_cast<unsigned char>(data[i + 1]) << 8;
        }
        if (i + 2 < data.size()) {
            group |= static_cast<unsigned char>(data[i + 2]);
        }
        encoded += kDigits[(group >> 18) & 63];
        encoded += kDigits[(group >> 12) & 63];
        encoded += i + 1 < data.size() ? kDigits[(group >> 6) & 63] : '=';
        encoded += i + 2 < data.size() ? kDigits[group & 63] : '=';
    }
    if (lineLength == 0) {
        return encoded;
    }
    std::string out;
    for (std::size_t start = 0; start < encoded.size(); start += lineLength) {
        out.append(start == 0 ? "" : "\r\n").append(encoded, start, lineLength);
    }
    return out;
}

// Line breaks of the text are encoded as =0D and =0A rather than sent as line ends, so that the
// receiver decodes exactly the bytes that were given, whatever line-end convention they used.
std::string QuotedPrintable(std::string_view data) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    // Room for a trailing blank that must become "=20" plus the soft break "=".
    constexpr std::size_t kContentLength = kLineLength - 3;
    std::string out;
    std::string line;
    auto finishLine = [&](bool soft) {
        if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
            const char blank = line.back();
            line.pop_back();
            line += blank == ' ' ? "=20" : "=09";
        }
        out += line;
        out += soft ? "=\r\n" : "";
        line.clear();
    };
    for (char ch : data) {
        const auto c = static_cast<unsigned char>(ch);
        std::string token;
        if ((c >= 33 && c <= 126 && c != '=') || c == ' ' || c == '\t') {
            token = std::string(1, ch);
        } else {
            token = {'=', kHex[c >> 4], kHex[c & 15]};
        }
        if (line.size() + token.size() > kContentLength) {
            finishLine(true);
        }
        line += token;
    }
    finishLine(false);
    return out;
}

// Headers must stay ASCII and on their own line: control characters become blanks, and text
// that is not ASCII (or too long for one header line) goes out as RFC 2047 encoded words.
std::string HeaderText(std::string text) {
    text = platform::ReplaceControls(std::move(text), ' ');
    if (IsAscii(text) && text.size() <= 900) {
        return text;
    }
    // 45 bytes give 60 base64 characters: an encoded word of 72, under the limit of 75.
    constexpr std::size_t kChunk = 45;
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = std::min(start + kChunk, text.size());
        // Never split a UTF-8 sequence between two words; decoders handle each word alone.
        while (end < text.size() && end > start + 1 && platform::IsUtf8Continuation(text[end])) {
            --end;
        }
        if (!out.empty()) {
            out += "\r\n ";
        }
        out += "=?UTF-8?B?" + Base64(std::string_view(text).substr(start, end - start), 0) + "?=";
        start = end;
    }
    return out;
}

std::string Mailbox(const std::string& address, const std::string& displayName) {
    const std::string name(platform::TrimBlanks(displayName));
    if (name.empty() || name == address) {
        return address;
    }
    if (!IsAscii(name)) {
        return HeaderText(name) + " <" + address + ">";
    }
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += platform::IsControl(static_cast<unsigned char>(c)) ? ' ' : c;
    }
    return quoted + "\" <" + address + ">";
}

// RFC 5322 wants English day and month names, whatever locale the service runs in.
std::string MailDate(platform::TimePoint time) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const platform::LocalCalendarTime calendar = platform::ToLocalCalendarTime(time);
    const std::tm& local = calendar.fields;
    const long offset = calendar.utcOffsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  std::labs(offset) / 60, std::labs(offset) % 60);
    return text;
}

std::string MessageId(platform::TimePoint time, const std::string& from) {
    std::random_device random;
    char unique[64];
    std::snprintf(
        unique, sizeof unique, "%lld.%08x%08x",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count()),
        random(), random());
    const auto at = from.rfind('@');
    const std::string domain = at == std::string::npos ? "localhost" : from.substr(at + 1);
    return "<" + std::string(unique) + "@" + domain + ">";
}

}  // namespace net::mail
