#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Clock.h"

/// Text forms of the Internet message format that the mail component writes.
namespace net::mail {

/// Header and encoded body lines stay this short, far below the 998 octets SMTP allows.
inline constexpr std::size_t kLineLength = 76;

bool IsAscii(std::string_view text);

/// Base64 in lines of `lineLength` characters joined by CRLF, the last one possibly shorter
/// (0: one line).
std::string Base64(std::string_view data, std::size_t lineLength);
/// Quoted-printable lines of at most kLineLength; every byte, CR and LF included, decodes
/// back unchanged.
std::string QuotedPrintable(std::string_view data);
/// A header value: ASCII as it is, anything else as RFC 2047 encoded words; never a line break.
std::string HeaderText(std::string text);
/// "address", or a display name with the address in angle brackets.
std::string Mailbox(const std::string& address, const std::string& displayName);
/// RFC 5322 date, e.g. "Sat, 01 Feb 2025 10:00:00 +0100", independent of the locale.
std::string MailDate(platform::TimePoint time);
/// A fresh Message-ID in angle brackets, in the domain of the sender's address.
std::string MessageId(platform::TimePoint time, const std::string& from);

}  // namespace net::mail
