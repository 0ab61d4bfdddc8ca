#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace platform {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

std::string ToUpperAscii(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), UpperAscii);
    return upper;
}

bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

Utf8Sequence DecodeUtf8Sequence(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80             ? 1
                               : (lead & 0xE0) == 0xC0 ? 2
                               : (lead & 0xF0) == 0xE0 ? 3
                               : (lead & 0xF8) == 0xF0 ? 4
                                                       : 0;
    char32_t point = length == 1 ? lead : lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    std::size_t taken = 1;
    while (taken < length && taken < text.size() && IsUtf8Continuation(text[taken])) {
        point = (point << 6) | (static_cast<unsigned char>(text[taken]) & 0x3F);
        ++taken;
    }
    constexpr std::array<char32_t, 5> smallest{0, 0, 0x80, 0x800, 0x10000};
    const bool valid = length != 0 && taken == length && point >= smallest[length] &&
                       point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
    return {valid ? point : kReplacement, taken, valid};
}

std::string DecodeUtf8(std::string_view bytes) {
    constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string text;
    text.reserve(bytes.size());
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    while (!bytes.empty()) {
        const Utf8Sequence sequence = DecodeUtf8Sequence(bytes);
        if (sequence.valid) {
            text.append(bytes.substr(0, sequence.length));
        } else {
            text.append(replacement);
        }
        bytes.remove_prefix(sequence.length);
    }
    return text;
}

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return IsControl(static_cast<unsigned char>(c)); });
}

std::string ReplaceControls(std::string text, char replacement) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)); },
        replacement);
    return text;
}

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::wstring ToWide(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const Utf8Sequence sequence = DecodeUtf8Sequence(text.substr(i));
        const char32_t point = sequence.point;
        const std::size_t taken = sequence.length;
        if (sizeof(wchar_t) == 2 && point >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(point);
        }
        i += taken;
    }
    return wide;
}

std::string FromWide(std::wstring_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto point = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && point >= 0xD800 && point <= 0xDBFF && i + 1 < text.size() &&
            static_cast<char32_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<char32_t>(text[i + 1]) <= 0xDFFF) {
            point =
                0x10000 + ((point - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if ((point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) {
            point = kReplacement;
        }
        if (point < 0x80) {
            narrow += static_cast<char>(point);
        } else if (point < 0x800) {
            narrow += static_cast<char>(0xC0 | (point >> 6));
            narrow += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            narrow += static_cast<char>(0xE0 | (point >> 12));
            narrow += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            narrow += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            narrow += static_cast<char>(0xF0 | (point >> 18));
            narrow += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            narrow += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            narrow += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    return narrow;
}

}  // namespace platform
