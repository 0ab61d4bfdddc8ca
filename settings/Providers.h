#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// How an update carries the two address families.
enum class FamilyRule {
    /// One myip value, IPv4 first, comma-separated.
    List,
    /// One request per family.
    Separate,
    /// myip for IPv4 and myipv6 for IPv6; a family without an address takes the word `keep`.
    TwoKeys,
    /// IPv4 only: the provider's update sets the A record alone.
    IPv4Only,
};

/// One provider's published rules for the update request.
struct ProviderRule {
    std::string name;
    /// Scheme and host of the update server; an explicit ZARVOServer takes its place.
    std::string server;
    /// The update's path after the server's "/", with any query the provider always wants.
    std::string path;
    std::string method;
    /// Host names one request may carry.
    int namesPerRequest;
    FamilyRule families;
    /// With TwoKeys: the value that leaves a family's record as it is.
    std::string keep;
    /// The provider's own refresh period in days; 0 when it sets none.
    int refreshDays;
    /// What the user enters as Username, Password and Host.
    std::string login;
};

/// The names of the built-in providers, in the table's order.
const std::vector<std::string>& ProviderNames();

/// The provider of that name, in any letter case; nothing for an unknown name.
std::optional<ProviderRule> FindProvider(std::string_view name);
