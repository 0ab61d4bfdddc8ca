#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/InterfaceAddress.h"

using IPv6Bytes = std::array<std::uint8_t, 16>;

/// An IPv6 address in text form: eight groups of up to four hexadecimal digits, one run of zero
/// groups written as "::", the last 32 bits optionally as a dotted IPv4 address. A zone id
/// ("%eth0") or anything else around the address makes it none.
std::optional<IPv6Bytes> ParseIPv6Address(std::string_view text);

/// The canonical text of an address: lower case, no leading zeros, the longest run of two or
/// more zero groups (the first of equals) written as "::".
std::string IPv6AddressText(const IPv6Bytes& address);

/// Whether the address can stand for a host on the internet: 2000::/3, except the documentation
/// ranges and the protocol assignments (Teredo, 6to4) that no host owns for itself.
bool IsGlobalUnicastIPv6(const IPv6Bytes& address);

/// The first IPv6 address written in `text` (an echo page, HTML or plain), in canonical form;
/// empty when there is none. An address followed by a zone id counts as none.
std::string ExtractIPv6Address(const std::string& text);

/// The machine's address to publish: global unicast, neither temporary, deprecated nor
/// tentative, the one preferred longest (the first of equals); empty when there is none.
std::string StableIPv6Address(const std::vector<platform::InterfaceAddress>& addresses);
