#pragma once

#include <chrono>
#include <cstddef>

namespace net::curl {

/// The limits of one transfer over libcurl, HTTP or mail; reaching any of them ends the transfer
/// as a failure, so that a server that stops answering cannot hold the program's one thread.
struct TransferBounds {
    std::chrono::milliseconds connect{30'000};  // name lookup, TCP and TLS handshake
    std::chrono::milliseconds stall{60'000};    // no byte moved in either direction
    std::chrono::milliseconds total{300'000};   // the whole exchange, redirects included
    std::size_t maxBody = 1024 * 1024;          // bytes of the final response body
};

}  // namespace net::curl
