#pragma once

namespace net {

/// The addresses a connection may go to: a host name resolves to this family only.
enum class AddressFamily { Any, IPv4, IPv6 };

}  // namespace net
