#include "net/utilIPv6Adresse.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

constexpr std::string_view kHexDigits = "0123456789abcdefABCDEF";

std::optional<std::uint16_t> HexGroup(std::string_view text) {
    std::uint16_t value = 0;
    if (text.empty() || text.size() > 4 || text.find_first_not_of(kHexDigits) != text.npos) {
        return std::nullopt;
    }
    std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return value;
}

// Decimal octets without leading zeros, as URIs and inet_pton take them: "01" could be read
// as octal elsewhere, so it is no address here.
bool DottedIPv4(std::string_view text, std::uint8_t* out) {
    for (int octet = 0; octet < 4; ++octet) {
        std::size_t dot = text.find('.');
        std::string_view digits = text.substr(0, dot);
        if ((octet < 3) == (dot == text.npos) || digits.empty() || digits.size() > 3 ||
            digits.find_first_not_of("0123456789") != digits.npos ||
            (digits.size() > 1 && digits.front() == '0')) {
            return false;
        }
        unsigned value = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (value > 255) {
            return false;
        }
        out[octet] = static_cast<std::uint8_t>(value);
        text.remove_prefix(octet < 3 ? dot + 1 : text.size());
    }
    return true;
}

// `prefix` holds every byte that the first `bits` bits reach into.
bool Within(const IPv6Bytes& address, std::initializer_list<std::uint8_t> prefix, int bits) {
    auto byte = prefix.begin();
    for (int index = 0; bits > 0; ++index, ++byte, bits -= 8) {
        const unsigned mask = bits >= 8 ? 0xFF : (0xFF << (8 - bits)) & 0xFF;
        if ((address[index] & mask) != (*byte & mask)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<IPv6Bytes> ParseIPv6Address(std::string_view text) {
    IPv6Bytes bytes{};
    std::size_t count = 0;  // bytes filled so far
    std::optional<std::size_t> gap;
    if (text.substr(0, 2) == "::") {
        gap = 0;
        text.remove_prefix(2);
    }
    while (!text.empty()) {
        const std::size_t colon = text.find(':');
        const std::string_view piece = text.substr(0, colon);
        if (colon == text.npos && piece.find('.') != piece.npos) {
            if (count > 12 || !DottedIPv4(piece, bytes.data() + count)) {
                return std::nullopt;
            }
            count += 4;
            break;
        }
        const std::optional<std::uint16_t> group = HexGroup(piece);
        if (!group || count == 16) {
            return std::nullopt;
        }
        bytes[count++] = static_cast<std::uint8_t>(*group >> 8);
        bytes[count++] = static_cast<std::uint8_t>(*group & 0xFF);
        if (colon == text.npos) {
            break;
        }
        text.remove_prefix(colon + 1);
        if (text.empty()) {
            return std::nullopt;  // a single closing colon
        }
        if (text.front() == ':') {
            if (gap) {
                return std::nullopt;
            }
            gap = count;
            text.remove_prefix(1);
        }
    }
    // "::" stands for at least one zero group.
    if (gap ? count > 14 : count != 16) {
        return std::nullopt;
    }
    if (gap) {
        std::move_backward(bytes.begin() + static_cast<long>(*gap),
                           bytes.begin() + static_cast<long>(count), bytes.end());
        std::fill(bytes.begin() + static_cast<long>(*gap),
                  bytes.begin() + static_cast<long>(*gap + 16 - count), 0);
    }
    return bytes;
}

std::string IPv6AddressText(const IPv6Bytes& address) {
    std::array<unsigned, 8> groups{};
    for (std::size_t i = 0; i < 8; ++i) {
        groups[i] = static_cast<unsigned>(address[2 * i] << 8 | address[2 * i + 1]);
    }
    std::size_t bestStart = 8, bestLength = 1;
    for (std::size_t start = 0; start < 8;) {
        std::size_t end = start;
        while (end < 8 && groups[end] == 0) {
            ++end;
        }
        if (end - start > bestLength) {
            bestStart = start;
            bestLength = end - start;
        }
        start = end == start ? start + 1 : end;
    }
    std::string text;
    for (std::size_t i = 0; i < 8; ++i) {
        if (i == bestStart) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':') {
            text += ':';
        }
        char group[5];
        std::snprintf(group, sizeof(group), "%x", groups[i]);
        text += group;
    }
    return text;
}

bool IsGlobalUnicastIPv6(const IPv6Bytes& address) {
    return Within(address, {0x20}, 3) && !Within(address, {0x20, 0x01, 0x0d, 0xb8}, 32) &&
           !Within(address, {0x3f, 0xff, 0x00}, 20) && !Within(address, {0x20, 0x01, 0x00}, 23) &&
           !Within(address, {0x20, 0x02}, 16);
}

std::string ExtractIPv6Address(const std::string& text) {
    constexpr std::string_view kAddressCharacters = "0123456789abcdefABCDEF:.";
    for (std::size_t start = text.find_first_of(kAddressCharacters); start != text.npos;) {
        std::size_t end = text.find_first_not_of(kAddressCharacters, start);
        std::string_view run = std::string_view(text).substr(start, end - start);
        const bool zoned = end != text.npos && text[end] == '%';
        // A sentence's full stop or a label's colon may touch the address.
        while (!run.empty() && run.back() == '.') {
            run.remove_suffix(1);
        }
        if (run.size() > 1 && run.back() == ':' && run[run.size() - 2] != ':') {
            run.remove_suffix(1);
        }
        if (run.size() > 1 && run.front() == ':' && run[1] != ':') {
            run.remove_prefix(1);
        }
        if (std::optional<IPv6Bytes> address = ParseIPv6Address(run); address) {
            return zoned ? std::string() : IPv6AddressText(*address);
        }
        start = text.find_first_of(kAddressCharacters, end);
    }
    return {};
}

std::string StableIPv6Address(const std::vector<platform::InterfaceAddress>& addresses) {
    const platform::InterfaceAddress* best = nullptr;
    for (const platform::InterfaceAddress& address : addresses) {
        if (address.temporary || address.deprecated || address.tentative ||
            !IsGlobalUnicastIPv6(address.bytes)) {
            continue;
        }
        if (best == nullptr || address.preferredLifetime > best->preferredLifetime) {
            best = &address;
        }
    }
    return best ? IPv6AddressText(best->bytes) : std::string();
}
