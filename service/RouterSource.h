#pragma once

#include <memory>
#include <optional>
#include <string>

#include "net/upnp/RouterAddress.h"

/// Asks the network's router for its external IPv4 address; tests put their own in its place.
class RouterQuery {
  public:
    virtual ~RouterQuery() = default;
    /// The router's answer (an empty description URL when none answered); nothing when a stop
    /// came meanwhile.
    virtual std::optional<net::upnp::RouterAnswer> Ask(const std::string& knownUrl) = 0;
};

/// miniupnpc over UPnP IGD, bounded.
class UpnpRouterQuery : public RouterQuery {
  public:
    std::optional<net::upnp::RouterAnswer> Ask(const std::string& knownUrl) override;
};

/// The router as the source of the IPv4 address, and what its answer says about the line: behind
/// the carrier's NAT, no address of the line can be reached over IPv4 from outside.
class RouterSource {
  public:
    explicit RouterSource(std::unique_ptr<RouterQuery> query);

    /// WANIPSource=router: the router's address, when it is public, with the log lines; empty
    /// when the router has none to give; nothing when a stop came meanwhile.
    std::optional<std::string> Address();
    /// With the echo page as the source: asks the router whether the line is behind the
    /// carrier's NAT, at the first address the echo page shows and again when it shows another.
    /// A network without a router that answers says nothing. false when a stop came meanwhile.
    bool CheckLine(const std::string& echoAddress);
    /// For the status line: what the carrier's NAT means for the line; empty without it.
    std::string StatusNote() const;

  private:
    std::optional<net::upnp::RouterAnswer> Ask();
    /// Takes note of what the router reports; true when it is a public address.
    bool Reported(const std::string& address);

    std::unique_ptr<RouterQuery> query_;
    /// Found once, asked directly from then on; searched for again only when it fails.
    std::string descriptionUrl_;
    /// What the router reported while the line is behind the carrier's NAT.
    std::optional<std::string> carrierNat_;
    std::optional<std::string> checkedEchoAddress_;
};
