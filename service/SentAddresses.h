#pragma once

#include <optional>
#include <string>
#include <utility>

/// The addresses an update sent, by family. A family left out of the update (IPv6 switched
/// off, or IPv4 on a line without an IPv4 address of its own) has none.
struct SentAddresses {
    SentAddresses() = default;
    // An update with the IPv4 address alone, as every update was before IPv6.
    SentAddresses(std::string ipv4) : IPv4(std::move(ipv4)) {}
    SentAddresses(const char* ipv4) : IPv4(ipv4) {}

    std::optional<std::string> IPv4;
    std::optional<std::string> IPv6;
};
