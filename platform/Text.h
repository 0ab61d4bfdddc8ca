#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

/// Blanks in the sense of the file formats and protocols we read: space and tab.
bool IsBlank(char c);
/// `text` without leading and trailing blanks.
std::string_view TrimBlanks(std::string_view text);
/// Compares ASCII letters without regard to case; other bytes must be equal.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
/// `text` with its ASCII letters in upper case.
std::string ToUpperAscii(std::string_view text);

/// True for the bytes that continue a UTF-8 sequence: a text cut before one splits a character.
bool IsUtf8Continuation(char c);
/// The UTF-8 sequence at the start of non-empty `text`: its code point and the bytes it takes
/// (at least one). Overlong forms, surrogates, points past U+10FFFF, stray and truncated
/// sequences are invalid; they take the bytes up to the next that cannot continue them.
struct Utf8Sequence {
    char32_t point;
    std::size_t length;
    bool valid;
};
Utf8Sequence DecodeUtf8Sequence(std::string_view text);
/// Bytes decoded as a browser decodes UTF-8: a leading byte-order mark goes, and every invalid
/// sequence becomes U+FFFD, so that no malformed text travels on into logs and mails.
std::string DecodeUtf8(std::string_view bytes);

/// ASCII control characters: below 0x20, and DEL.
bool IsControl(unsigned char c);
bool HasControl(std::string_view text);
/// `text` with every control character replaced by `replacement`.
std::string ReplaceControls(std::string text, char replacement);
/// True when `text` holds CR, LF or NUL, any of which would end or cut a line of a header, a
/// protocol command or a settings file.
bool HasLineBreakOrNul(std::string_view text);

/// UTF-8 `text` as the platform's wide text (UTF-16 where wchar_t has 16 bits, as on Windows;
/// UTF-32 elsewhere), for the Windows API boundary. Each invalid sequence becomes U+FFFD.
std::wstring ToWide(std::string_view text);
/// Wide text back to UTF-8; unpaired surrogates become U+FFFD.
std::string FromWide(std::wstring_view text);

}  // namespace platform
