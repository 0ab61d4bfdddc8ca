#pragma once

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

/// UTF-8 `text` as the platform's wide text (UTF-16 where wchar_t has 16 bits, as on Windows;
/// UTF-32 elsewhere), for the Windows API boundary. Each invalid sequence becomes U+FFFD.
std::wstring ToWide(std::string_view text);
/// Wide text back to UTF-8; unpaired surrogates become U+FFFD.
std::string FromWide(std::wstring_view text);

}  // namespace platform
