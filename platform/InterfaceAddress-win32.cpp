// winsock2.h before windows.h, which would otherwise pull in the old winsock.h; iphlpapi.h
// after both. Blank lines keep the include sorting from changing the order.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <cstring>
#include <memory>

#include "platform/InterfaceAddress.h"
#include "platform/RuntimeError.h"

namespace platform {

namespace {

// Windows gives its privacy addresses a random suffix, and by default its stable ones as well;
// what sets the privacy addresses apart is that Windows keeps them out of its own DNS entries.
InterfaceAddress FromUnicast(const IP_ADAPTER_UNICAST_ADDRESS& unicast) {
    InterfaceAddress address;
    const auto* socketAddress = reinterpret_cast<const sockaddr_in6*>(unicast.Address.lpSockaddr);
    std::memcpy(address.bytes.data(), &socketAddress->sin6_addr, address.bytes.size());
    address.temporary = unicast.SuffixOrigin == IpSuffixOriginRandom &&
                        (unicast.Flags & IP_ADAPTER_ADDRESS_DNS_ELIGIBLE) == 0;
    address.deprecated = unicast.DadState == IpDadStateDeprecated;
    address.tentative = unicast.DadState == IpDadStateTentative ||
                        unicast.DadState == IpDadStateDuplicate ||
                        unicast.DadState == IpDadStateInvalid;
    address.preferredLifetime = unicast.PreferredLifetime;
    return address;
}

}  // namespace

std::vector<InterfaceAddress> InterfaceIPv6Addresses() {
    constexpr ULONG flags =
        GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::unique_ptr<char[]> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list can grow between the call that measures it and the one that fills it.
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer = std::make_unique<char[]>(size);
        result = GetAdaptersAddresses(AF_INET6, flags, nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
    }
    std::vector<InterfaceAddress> addresses;
    if (result == ERROR_NO_DATA) {
        return addresses;
    }
    if (result != NO_ERROR) {
        throw errors::InternalError("GetAdaptersAddresses: error " + std::to_string(result));
    }
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.get());
         adapter != nullptr; adapter = adapter->Next) {
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
             unicast != nullptr; unicast = unicast->Next) {
            if (unicast->Address.lpSockaddr->sa_family == AF_INET6) {
                addresses.push_back(FromUnicast(*unicast));
            }
        }
    }
    return addresses;
}

}  // namespace platform
