#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "report/modReport.h"
#include "service/AddressFamilies.h"
#include "settings/ConfirmedHosts.h"
#include "settings/Providers.h"

/// The rules of the cycle's update requests: the provider's, or for the own provider POST with
/// one name a request; IPv6Request=separate splits a list into one request per family.
ProviderRule CycleRule();

/// Why no update may go out for the Provider key; empty when it names a provider or none.
std::string ProviderProblem();

/// One update request: the addresses it sends and the names (indices into the hosts) it sends
/// them for.
struct PlannedUpdate {
    SentAddresses sent;
    std::vector<std::size_t> names;
};

/// The update requests the cycle owes its names, as many names in one as the provider takes,
/// writing a line for each name due only for its refresh. A name is due for a refresh once its last
/// confirmed update (or, without one, `since`) lies as many days before `now` as RefreshDays or the
/// provider's period say. Without any, "There is no new IP Address." unless the IPv4 address is
/// missing.
std::vector<PlannedUpdate> PlanUpdates(const FoundAddresses& found,
                                       const std::vector<ConfirmedHost>& hosts,
                                       const ProviderRule& rule, platform::TimePoint now,
                                       platform::TimePoint since);

/// The names of `hosts` at the indices `names`.
std::vector<std::string> NamesOf(const std::vector<ConfirmedHost>& hosts,
                                 const std::vector<std::size_t>& names);
