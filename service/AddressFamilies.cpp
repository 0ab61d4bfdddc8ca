#include "service/AddressFamilies.h"

#include "net/utilIPv6Adresse.h"
#include "platform/InterfaceAddress.h"
#include "platform/RuntimeError.h"
#include "report/modLogfile.h"
#include "service/UrlParts.h"
#include "settings/modPublic.h"

namespace {

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

std::optional<std::string> EchoPageAddress(AjaxComm& AjaxComm1, const EchoRequest& request) {
    const std::string server = ServerPart(AppSettings.WANIPv6Source);
    const std::string path = PathPart(AppSettings.WANIPv6Source);
    AjaxComm1.SendMethod("get");
    AjaxComm1.ServerAddress(server);
    AjaxComm1.ContentType("TEXT");
    AjaxComm1.Asynchronize(true);
    AjaxComm1.UserName("");
    AjaxComm1.Password("");
    AjaxComm1.AddressFamily(platform::AddressFamily::IPv6);
    WriteLog("Get external IPv6 Address from: " + server + path, 4);
    std::optional<std::string> page = request(path);
    // Every other request of the cycle goes over IPv4, as before IPv6.
    AjaxComm1.AddressFamily(platform::AddressFamily::IPv4);
    if (!page) {
        return std::nullopt;
    }
    std::string address = ExtractIPv6Address(*page);
    std::optional<IPv6Bytes> bytes = ParseIPv6Address(address);
    if (bytes && !IsGlobalUnicastIPv6(*bytes)) {
        WriteLog("The IPv6 echo page showed " + address + ", which is no global address.", 1);
        address.clear();
    }
    return address;
}

}  // namespace

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
                                             : EchoPageAddress(AjaxComm1, request);
    if (address) {
        WriteLog("The external IPv6 Address is: " + *address, 4);
    }
    return address;
}

// A missing IPv6 address alone calls for no update: unlike IPv4, where an empty myip lets the
// provider take the address the request came from, the request does not come over IPv6.
std::vector<SentAddresses> UpdatesDue(const std::string& ipv4, const std::string& ipv6) {
    const bool ipv4New = AppSettings.IPv4 && (ipv4.empty() || ipv4 != AppSettings.LastIPAdress);
    const bool ipv6Found = AppSettings.IPv6 && !ipv6.empty();
    const bool ipv6New = ipv6Found && ipv6 != AppSettings.LastIPv6Adress;
    if (AppSettings.IPv6 && !ipv6Found) {
        WriteLog("The external IPv6 Address can not taken!", 4);
    }
    if (!ipv4New && !ipv6New) {
        WriteLog("There is no new IP Address.", 4);
        return {};
    }
    if (AppSettings.IPv4 && ipv4.empty()) {
        WriteLog("The external IP Address can not taken!", 4);
    }
    SentAddresses ipv4Only{ipv4};
    SentAddresses ipv6Only;
    ipv6Only.IPv6 = ipv6;
    if (AppSettings.IPv6Request == "separate") {
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
    if (AppSettings.IPv4) {
        all.IPv4 = ipv4;
    }
    if (ipv6Found) {
        all.IPv6 = ipv6;
    }
    return {all};
}

std::string MyIpList(const SentAddresses& sent) {
    if (sent.IPv4 && sent.IPv6) {
        return *sent.IPv4 + "," + *sent.IPv6;
    }
    return sent.IPv4.value_or(sent.IPv6.value_or(""));
}
