#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/AjaxComm.h"
#include "report/modReport.h"
#include "settings/ConfirmedHosts.h"
#include "settings/Providers.h"

/// Sends AjaxComm1's request for `path` and gives the answer as text; nothing when a stop came
/// meanwhile.
using EchoRequest = std::function<std::optional<std::string>(const std::string& path)>;

/// The addresses of this cycle, one per family; empty for a family that is switched off or
/// has none.
struct FoundAddresses {
    std::string IPv4;
    std::string IPv6;
};

class RouterSource;

/// Finds the address of each family the settings switch on, writing the log lines: IPv4 from
/// StaticIPAddress, the router (WANIPSource=router) or the echo page (a private address counts
/// as none; the echo page stands in for a router without a public address); IPv6 from
/// StaticIPv6Address, the interfaces' stable address or the IPv6 echo page, read over IPv6 only
/// (an address that is no global unicast counts as none). Nothing when a stop came meanwhile.
std::optional<FoundAddresses> FindExternalAddresses(AjaxComm& AjaxComm1, const EchoRequest& request,
                                                    RouterSource& router);

/// Writes, once a cycle, what no update carries: a family switched on without an address, or
/// IPv6 to a provider whose update sets IPv4 only.
void ReportMissingAddresses(const FoundAddresses& found, FamilyRule families);

/// Compares each enabled family's address with the one confirmed for `host` and returns its
/// update requests: none, one carrying every family with an address, or with `families`
/// Separate one for each family that changed. A refresh sends them even when unchanged. A
/// family without an address is never sent.
std::vector<SentAddresses> UpdatesDue(const FoundAddresses& found, const ConfirmedHost& host,
                                      FamilyRule families, bool refresh);

/// The myip value of an update: its addresses, IPv4 first, comma-separated.
std::string MyIpList(const SentAddresses& sent);

/// The names comma-separated, as a request and the log list them.
std::string Listed(const std::vector<std::string>& names);

/// The path and query of the update of `names` with `sent`, as `rule` writes them.
std::string UpdateQuery(const ProviderRule& rule, const std::vector<std::string>& names,
                        const SentAddresses& sent);
