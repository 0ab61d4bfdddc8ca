#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace platform {

/// One IPv6 address of the machine's interfaces, with what the system says about its use.
struct InterfaceAddress {
    std::array<std::uint8_t, 16> bytes{};
    /// A privacy address: outgoing connections use it, and it is replaced within a day.
    bool temporary = false;
    /// Still valid, but no longer to be used for new connections.
    bool deprecated = false;
    /// Duplicate detection has not passed (yet, or it failed).
    bool tentative = false;
    /// Seconds the address stays preferred; kForever for an address that never ages.
    std::uint32_t preferredLifetime = 0;

    static constexpr std::uint32_t kForever = 0xFFFFFFFF;
};

/// The IPv6 addresses of all interfaces as the system lists them; throws RuntimeError when it
/// cannot list them.
std::vector<InterfaceAddress> InterfaceIPv6Addresses();

}  // namespace platform
