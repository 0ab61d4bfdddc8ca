#include "service/RouterSource.h"

#include <chrono>

#include "net/utilIPAdresse.h"
#include "report/modLogfile.h"
#include "service/UrlParts.h"
#include "settings/modPublic.h"

namespace {

using std::chrono_literals::operator""ms;
using std::chrono_literals::operator""s;

const std::string CarrierNat =
    "the line is behind the carrier's NAT (or another router) and cannot be reached over IPv4 "
    "from outside; switch IPv6 on, or ask the carrier for a public IPv4 address";

// The router tells nothing: what the cycle does without its address.
std::string WithoutTheRouter() {
    if (AppSettings.WANIPAdress.empty()) {
        return "; without WANIPAdress no update is sent";
    }
    return "; the external IP Address comes from the echo page " +
           WithoutCredentials(AppSettings.WANIPAdress);
}

}  // namespace

std::optional<net::upnp::RouterAnswer> UpnpRouterQuery::Ask(const std::string& knownUrl) {
    // miniupnpc's shortest wait for each of the four kinds of device it searches; the bound
    // leaves room for its HTTP exchanges with a router that is slow to answer.
    return net::upnp::AskRouter(knownUrl, 1000ms, 15s);
}

RouterSource::RouterSource(std::unique_ptr<RouterQuery> query) : query_(std::move(query)) {}

std::optional<net::upnp::RouterAnswer> RouterSource::Ask() {
    std::optional<net::upnp::RouterAnswer> answer = query_->Ask(descriptionUrl_);
    if (answer && !answer->descriptionUrl.empty()) {
        descriptionUrl_ = answer->descriptionUrl;
    }
    return answer;
}

std::optional<std::string> RouterSource::Address() {
    std::optional<net::upnp::RouterAnswer> answer = Ask();
    if (!answer) {
        return std::nullopt;
    }
    if (answer->descriptionUrl.empty()) {
        WriteLog("No UPnP router answered" + WithoutTheRouter(), 1);
        return std::string();
    }
    WriteLog("Get external IP Address from: router " + answer->descriptionUrl, 4);
    if (!answer->address) {
        WriteLog("The router does not tell its external IP Address" + WithoutTheRouter(), 1);
        return std::string();
    }
    if (!Reported(*answer->address)) {
        return std::string();
    }
    WriteLog("The external IP Address is: " + *answer->address, 4);
    return answer->address;
}

bool RouterSource::CheckLine(const std::string& echoAddress) {
    if (echoAddress.empty() || checkedEchoAddress_ == echoAddress) {
        return true;
    }
    std::optional<net::upnp::RouterAnswer> answer = Ask();
    if (!answer) {
        return false;
    }
    checkedEchoAddress_ = echoAddress;
    if (answer->address) {
        Reported(*answer->address);
    }
    return true;
}

bool RouterSource::Reported(const std::string& address) {
    if (IsPublicIPv4(address)) {
        carrierNat_.reset();
        return true;
    }
    // Once, and again when it changes: the user can do nothing about it from here.
    if (carrierNat_ != address) {
        carrierNat_ = address;
        WriteLog(
            (address.empty() ? "The router reports no external IP Address"
                             : "The router's external IP Address " + address + " is not public") +
                ": " + CarrierNat,
            1);
    }
    return false;
}

std::string RouterSource::StatusNote() const {
    return carrierNat_ ? CarrierNat : "";
}
