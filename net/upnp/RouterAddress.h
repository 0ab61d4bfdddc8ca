#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace net::upnp {

/// What the network's gateway says about its external IPv4 address over UPnP IGD.
struct RouterAnswer {
    /// The router's description URL; empty when no router answered the search.
    std::string descriptionUrl;
    /// Its answer to GetExternalIPAddress as it gave it, which may be empty; nothing when the
    /// router was found but did not answer the query.
    std::optional<std::string> address;
};

/// Asks the router whose description is at `knownUrl`; when that fails, or none is known yet,
/// searches the network for one (miniupnpc waits `searchDelay` for each kind of device it
/// searches) and asks that. miniupnpc blocks, so this runs on a thread of its own while the
/// program's events go on. Nothing when a stop came first; no router when `bound` passed.
std::optional<RouterAnswer> AskRouter(const std::string& knownUrl,
                                      std::chrono::milliseconds searchDelay,
                                      std::chrono::milliseconds bound);

}  // namespace net::upnp
