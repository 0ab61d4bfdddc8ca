#include "settings/Providers.h"

#include "platform/Text.h"

namespace {

using enum FamilyRule;

// The sources of each row are listed in the README's provider table.
const std::vector<ProviderRule>& Table() {
    static const std::vector<ProviderRule> table{
        // Dyn: at most 20 names, one answer line each; "numhost" beyond.
        {"dyndns", "https://members.dyndns.org", "nic/update", "get", 20, List, "", 28,
         "account name, password or updater key, host names"},
        {"noip", "https://dynupdate.no-ip.com", "nic/update", "get", 1, List, "", 30,
         "account e-mail address, password, host name"},
        // An empty myip deletes the A record, an update without myipv6 the AAAA record.
        {"desec", "https://update.dedyn.io", "nic/update", "get", 1, TwoKeys, "preserve", 0,
         "domain name, token, domain name"},
        // Its dyndns2 endpoint sets the IPv4 address only.
        {"dynv6", "https://dynv6.com", "nic/update", "get", 1, IPv4Only, "", 0,
         "any text, the zone's HTTP token, zone name"},
        {"strato", "https://dyndns.strato.com", "nic/update", "get", 1, List, "", 0,
         "domain name, dynamic DNS password, domain name"},
        {"allinkl", "https://dyndns.kasserver.com", "nic/update", "get", 1, List, "", 0,
         "dynamic DNS login, its password, host name"},
        // Answers "abuse" to a list of two addresses.
        {"selfhost", "https://carol.selfhost.de", "nic/update", "get", 1, Separate, "", 0,
         "DynDNS user name, its password, host name"},
        {"ddnss", "https://www.ddnss.de", "nic/update", "get", 1, Separate, "", 0,
         "user name, update key, host name"},
        // An update token fits one host: with a token, one name in Host.
        {"spdyn", "https://update.spdyn.de", "nic/update", "get", 20, List, "", 0,
         "user name (the host name with a token), password or token, host names"},
        {"dynu", "https://api.dynu.com", "nic/update", "get", 1, TwoKeys, "no", 0,
         "user name, password, host name"},
        // The record's own key, with the host name as the user.
        {"he", "https://dyn.dns.he.net", "nic/update", "get", 1, Separate, "", 0,
         "host name, the record's DDNS key, host name"},
        {"ovh", "https://www.ovh.com", "nic/update?system=dyndns", "get", 1, Separate, "", 0,
         "DynHost login (domain-suffix), its password, host name"},
        {"inwx", "https://dyndns.inwx.com", "nic/update", "get", 1, List, "", 0,
         "DynDNS user name, its password, host name"},
        // The client's own address, one answer line per name; names expire after 7 days.
        {"dyfi", "https://www.dy.fi", "nic/update", "get", 5, IPv4Only, "", 5,
         "account e-mail address, password, host names"},
    };
    return table;
}

}  // namespace

const std::vector<std::string>& ProviderNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const ProviderRule& rule : Table()) {
            list.push_back(rule.name);
        }
        return list;
    }();
    return names;
}

std::optional<ProviderRule> FindProvider(std::string_view name) {
    for (const ProviderRule& rule : Table()) {
        if (platform::EqualsIgnoringCase(rule.name, platform::TrimBlanks(name))) {
            return rule;
        }
    }
    return std::nullopt;
}
