#include "service/AddressFamilies.h"

#include "net/utilIPAdresse.h"
#include "net/utilIPv6Adresse.h"
#include "platform/InterfaceAddress.h"
#include "platform/RuntimeError.h"
#include "report/modLogfile.h"
#include "service/ProviderAnswer.h"
#include "service/RouterSource.h"
#include "service/UrlParts.h"
#include "settings/modPublic.h"

namespace {

// Reads the echo page at `url` over `family` alone, naming `what` it is asked for in the log;
// nothing when a stop came meanwhile.
std::optional<std::string> ReadEchoPage(AjaxComm& AjaxComm1, const EchoRequest& request,
                                        const std::string& url, net::AddressFamily family,
                                        const std::string& what) {
    const std::string echoServer = ServerPart(url);
    const std::string echoPath = PathPart(url);
    AjaxComm1.SendMethod("get");
    AjaxComm1.ServerAddress(echoServer);
    AjaxComm1.ContentType("TEXT");
    AjaxComm1.Asynchronize(true);
    // The control keeps the provider's credentials from the last update; they are not for
    // the echo page's host, which would get them on a mere challenge.
    AjaxComm1.UserName("");
    AjaxComm1.Password("");
    AjaxComm1.AddressFamily(family);
    WriteLog("Get external " + what + " from: " + WithoutCredentials(echoServer + echoPath), 4);
    return request(echoPath);
}

bool RouterIsTheSource() {
    return AppSettings.WANIPSource == "router";
}

std::optional<std::string> FindExternalIPv4Address(AjaxComm& AjaxComm1, const EchoRequest& request,
                                                   RouterSource& router) {
    if (!AppSettings.StaticIPAddress.empty()) {
        return AppSettings.StaticIPAddress;
    }
    if (RouterIsTheSource()) {
        std::optional<std::string> address = router.Address();
        if (!address || !address->empty() || AppSettings.WANIPAdress.empty()) {
            return address;
        }
    }
    std::optional<std::string> echoPage = ReadEchoPage(AjaxComm1, request, AppSettings.WANIPAdress,
                                                       net::AddressFamily::IPv4, "IP Address");
    if (!echoPage) {
        return std::nullopt;
    }
    std::string externalAddress = ExtractIPAddress(*echoPage);
    // A captive portal, a router's own page or a proxy shows its side of the network; sending
    // that would publish it in public DNS.
    if (!externalAddress.empty() && !IsPublicIPv4(externalAddress)) {
        WriteLog("The echo page shows no public IP Address: " + externalAddress, 1);
        externalAddress.clear();
    }
    WriteLog("The external IP Address is: " + externalAddress, 4);
    if (!RouterIsTheSource() && !router.CheckLine(externalAddress)) {
        return std::nullopt;
    }
    return externalAddress;
}

// The machine's outgoing connections use its temporary address, which an echo page shows and
// which changes daily; the interfaces know the stable one.
std::string StableInterfaceAddress() {
    WriteLog("Get external IPv6 Address from: interface", 4);
    try {
        return StableIPv6Address(platform::InterfaceIPv6Addresses());
    } catch (const platform::RuntimeError& error) {
        WriteLog("The interfaces' IPv6 addresses can not be read: " + error.Text(), 1);
        return {};
    }
}

std::optional<std::string> EchoPageIPv6Address(AjaxComm& AjaxComm1, const EchoRequest& request) {
    std::optional<std::string> echoPage = ReadEchoPage(
        AjaxComm1, request, AppSettings.WANIPv6Source, net::AddressFamily::IPv6, "IPv6 Address");
    if (!echoPage) {
        return std::nullopt;
    }
    std::string address = ExtractIPv6Address(*echoPage);
    std::optional<IPv6Bytes> bytes = ParseIPv6Address(address);
    if (bytes && !IsGlobalUnicastIPv6(*bytes)) {
        WriteLog("The echo page shows no global IPv6 Address: " + address, 1);
        address.clear();
    }
    return address;
}

std::optional<std::string> FindExternalIPv6Address(AjaxComm& AjaxComm1,
                                                   const EchoRequest& request) {
    const std::string& configured = AppSettings.StaticIPv6Address;
    if (!configured.empty()) {
        // The user's own choice goes out as written, but a zone id has no place in a URL.
        if (ParseIPv6Address(configured)) {
            return configured;
        }
        WriteLog("StaticIPv6Address is no IPv6 address: " + configured, 1);
        return std::string();
    }
    std::optional<std::string> address = AppSettings.WANIPv6Source == "interface"
                                             ? StableInterfaceAddress()
                                             : EchoPageIPv6Address(AjaxComm1, request);
    if (address) {
        WriteLog("The external IPv6 Address is: " + *address, 4);
    }
    return address;
}

}  // namespace

std::optional<FoundAddresses> FindExternalAddresses(AjaxComm& AjaxComm1, const EchoRequest& request,
                                                    RouterSource& router) {
    FoundAddresses found;
    if (AppSettings.IPv4) {
        std::optional<std::string> ipv4 = FindExternalIPv4Address(AjaxComm1, request, router);
        if (!ipv4) {
            return std::nullopt;
        }
        found.IPv4 = *ipv4;
    }
    if (AppSettings.IPv6) {
        std::optional<std::string> ipv6 = FindExternalIPv6Address(AjaxComm1, request);
        if (!ipv6) {
            return std::nullopt;
        }
        found.IPv6 = *ipv6;
    }
    return found;
}

namespace {

void NoUpdateWithout(const std::string& what) {
    WriteLog("No update was sent for the " + what + ": none was found; the next cycle tries again.",
             1);
}

}  // namespace

// An empty myip lets the provider take the address the request came from (over IPv4 no IPv6
// address at all, over IPv6 the machine's temporary one), and some providers delete the record
// on it: a family without an address stays out of the update.
void ReportMissingAddresses(const FoundAddresses& found, FamilyRule families) {
    if (AppSettings.IPv6 && found.IPv6.empty()) {
        WriteLog("The external IPv6 Address can not taken!", 4);
        NoUpdateWithout("IPv6 Address");
    } else if (AppSettings.IPv6 && families == FamilyRule::IPv4Only) {
        WriteLog("No update is sent for the IPv6 Address: the provider's update sets IPv4 only.",
                 4);
    }
    if (AppSettings.IPv4 && found.IPv4.empty()) {
        WriteLog("The external IP Address can not taken!", 4);
        NoUpdateWithout("IP Address");
    }
}

std::vector<SentAddresses> UpdatesDue(const FoundAddresses& found, const ConfirmedHost& host,
                                      FamilyRule families, bool refresh) {
    const bool ipv4Found = AppSettings.IPv4 && !found.IPv4.empty();
    const bool ipv6Found =
        AppSettings.IPv6 && !found.IPv6.empty() && families != FamilyRule::IPv4Only;
    const bool ipv4New = ipv4Found && (refresh || !IsConfirmedAddress(found.IPv4, host));
    const bool ipv6New = ipv6Found && (refresh || !IsConfirmedIPv6Address(found.IPv6, host));
    if (!ipv4New && !ipv6New) {
        return {};
    }
    SentAddresses ipv4Only{found.IPv4};
    SentAddresses ipv6Only;
    ipv6Only.IPv6 = found.IPv6;
    if (families == FamilyRule::Separate) {
        std::vector<SentAddresses> updates;
        if (ipv4New) {
            updates.push_back(ipv4Only);
        }
        if (ipv6New) {
            updates.push_back(ipv6Only);
        }
        return updates;
    }
    SentAddresses all;
    if (ipv4Found) {
        all.IPv4 = found.IPv4;
    }
    if (ipv6Found) {
        all.IPv6 = found.IPv6;
    }
    return {all};
}

std::string MyIpList(const SentAddresses& sent) {
    if (sent.IPv4 && sent.IPv6) {
        return *sent.IPv4 + "," + *sent.IPv6;
    }
    return sent.IPv6.value_or(sent.IPv4.value_or(""));
}

std::string Listed(const std::vector<std::string>& names) {
    std::string listed;
    for (const std::string& name : names) {
        listed += (listed.empty() ? "" : ",") + name;
    }
    return listed;
}

std::string UpdateQuery(const ProviderRule& rule, const std::vector<std::string>& names,
                        const SentAddresses& sent) {
    std::string query = rule.path + (rule.path.find('?') == std::string::npos ? "?" : "&");
    query += "hostname=" + Listed(names);
    if (rule.families == FamilyRule::TwoKeys) {
        return query + "&myip=" + sent.IPv4.value_or(rule.keep) +
               "&myipv6=" + sent.IPv6.value_or(rule.keep);
    }
    return query + "&myip=" + MyIpList(sent);
}
