#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/AjaxComm.h"
#include "report/modReport.h"

/// Sends AjaxComm1's request for `path` and gives the answer as text; nothing when a stop came
/// meanwhile.
using EchoRequest = std::function<std::optional<std::string>(const std::string& path)>;

/// The IPv6 address of this cycle: StaticIPv6Address, the interfaces' stable address or the one
/// on the IPv6 echo page (read over IPv6 only), logged as the IPv4 address is. Empty when none was
/// found (an address that is no global unicast counts as none); nothing when a stop came meanwhile.
std::optional<std::string> FindExternalIPv6Address(AjaxComm& AjaxComm1, const EchoRequest& request);

/// Compares each enabled family's address with its stored one, writes the comparison's log
/// lines and returns the update requests due: none, one carrying every enabled family's
/// address, or with IPv6Request=separate one for each family that changed.
std::vector<SentAddresses> UpdatesDue(const std::string& ipv4, const std::string& ipv6);

/// The myip value of an update: its addresses, IPv4 first, comma-separated.
std::string MyIpList(const SentAddresses& sent);
