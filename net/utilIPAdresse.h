#pragma once

#include <string>

/// The first IPv4 address written in `text` as four dot-separated numbers of at most three
/// characters and at most 255 each, exactly as written there; empty when there is none.
std::string ExtractIPAddress(std::string text);

/// Whether `address`, as ExtractIPAddress gives it, can be a network's public IPv4 address: false
/// for the private, shared, loopback, link-local, documentation, benchmarking, multicast and
/// reserved blocks, and for any text that is no address.
bool IsPublicIPv4(const std::string& address);
