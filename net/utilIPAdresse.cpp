#include "net/utilIPAdresse.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The numeric-text test: digits, with blanks allowed around them and nothing else.
bool IsNumericText(std::string_view text, unsigned& value) {
    std::string_view digits = platform::TrimBlanks(text);
    if (digits.empty()) {
        return false;
    }
    value = 0;
    for (char c : digits) {
        if (!IsDigit(c)) {
            return false;
        }
        // Candidates are at most three characters long, so the value cannot grow large.
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

bool IsOctet(std::string_view candidate) {
    unsigned value = 0;
    return candidate.size() <= 3 && !candidate.empty() && candidate.front() != '+' &&
           candidate.front() != '-' && IsNumericText(candidate, value) && value <= 255;
}

struct Block {
    std::uint32_t network;
    int prefixLength;
};

// Where no provider's customer can be: an echo page showing one of these is a captive portal, a
// router's own page or a proxy, not the network's face to the internet.
constexpr std::array<Block, 14> NotPublic{{
    {0x00000000, 8},   // 0.0.0.0/8 "this network"
    {0x0A000000, 8},   // 10.0.0.0/8 private
    {0x64400000, 10},  // 100.64.0.0/10 shared (carrier-grade NAT)
    {0x7F000000, 8},   // 127.0.0.0/8 loopback
    {0xA9FE0000, 16},  // 169.254.0.0/16 link-local
    {0xAC100000, 12},  // 172.16.0.0/12 private
    {0xC0000000, 24},  // 192.0.0.0/24 protocol assignments
    {0xC0000200, 24},  // 192.0.2.0/24 documentation
    {0xC0A80000, 16},  // 192.168.0.0/16 private
    {0xC6120000, 15},  // 198.18.0.0/15 benchmarking
    {0xC6336400, 24},  // 198.51.100.0/24 documentation
    {0xCB007100, 24},  // 203.0.113.0/24 documentation
    {0xE0000000, 4},   // 224.0.0.0/4 multicast
    {0xF0000000, 4},   // 240.0.0.0/4 reserved, with the broadcast address
}};

}  // namespace

bool IsPublicIPv4(const std::string& address) {
    std::uint32_t value = 0;
    int octets = 0;
    for (std::size_t start = 0; start <= address.size(); ++octets) {
        const std::size_t dot = std::min(address.find('.', start), address.size());
        unsigned octet = 0;
        if (octets == 4 || dot - start > 3 ||
            !IsNumericText(std::string_view(address).substr(start, dot - start), octet) ||
            octet > 255) {
            return false;
        }
        value = value << 8 | octet;
        start = dot + 1;
    }
    return octets == 4 && std::none_of(NotPublic.begin(), NotPublic.end(), [value](Block block) {
               const int shift = 32 - block.prefixLength;
               return value >> shift == block.network >> shift;
           });
}

std::string ExtractIPAddress(std::string text) {
    if (text.find('.') == std::string::npos) {
        return {};
    }
    std::size_t begin = text.find_first_not_of('.');
    std::size_t end = text.find_last_not_of('.');
    // Every segment, the last one too, is closed by a dot.
    std::string working =
        (begin == std::string::npos ? "" : text.substr(begin, end - begin + 1)) + ".";
    // The shortest closed address: one digit per octet and four dots.
    if (working.size() < 8) {
        return {};
    }

    std::vector<std::string_view> segments;
    std::size_t start = 0;
    for (std::size_t dot = working.find('.'); dot != std::string::npos;
         dot = working.find('.', start)) {
        segments.emplace_back(working.data() + start, dot - start);
        start = dot + 1;
    }

    for (std::size_t k = 0; k + 3 < segments.size(); ++k) {
        std::array<std::string_view, 4> candidate{segments[k], segments[k + 1], segments[k + 2],
                                                  segments[k + 3]};
        std::size_t lastNonDigit = candidate[0].find_last_not_of("0123456789");
        if (lastNonDigit != std::string_view::npos) {
            candidate[0].remove_prefix(lastNonDigit + 1);
        }
        while (!candidate[3].empty() && !IsDigit(candidate[3].back())) {
            candidate[3].remove_suffix(1);
        }
        bool passed = true;
        for (std::string_view octet : candidate) {
            if (!IsOctet(octet)) {
                passed = false;
                break;
            }
        }
        if (passed) {
            return std::string(candidate[0]) + "." + std::string(candidate[1]) + "." +
                   std::string(candidate[2]) + "." + std::string(candidate[3]);
        }
    }
    return {};
}
