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

}  // namespace platform
