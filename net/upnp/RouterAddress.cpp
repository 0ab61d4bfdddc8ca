#include "net/upnp/RouterAddress.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

#include <memory>
#include <mutex>

#include "net/curl/Curl.h"
#include "platform/Worker.h"

namespace net::upnp {

namespace {

// GetValidIGD's first value for a device that is no Internet gateway; API 18 put a value for a
// gateway with a reserved address before it.
constexpr int NotAGateway = MINIUPNPC_API_VERSION >= 18 ? 4 : 3;

struct DeviceListFree {
    void operator()(UPNPDev* list) const { freeUPNPDevlist(list); }
};

// The control URL and service type of a router's WAN connection, freed with it.
struct Gateway {
    UPNPUrls urls{};
    IGDdatas data{};
    char lanAddress[64] = "";
    ~Gateway() { FreeUPNPUrls(&urls); }
};

std::optional<std::string> AskAt(const std::string& url) {
    Gateway gateway;
    if (UPNP_GetIGDFromUrl(url.c_str(), &gateway.urls, &gateway.data, gateway.lanAddress,
                           sizeof gateway.lanAddress) != 1) {
        return std::nullopt;
    }
    char address[64] = "";
    if (UPNP_GetExternalIPAddress(gateway.urls.controlURL, gateway.data.first.servicetype,
                                  address) != UPNPCOMMAND_SUCCESS) {
        return std::nullopt;
    }
    return std::string(address);
}

// A gateway that reports itself not connected still counts: its answer to the query tells more.
std::string Discover(std::chrono::milliseconds searchDelay) {
    int error = 0;
    std::unique_ptr<UPNPDev, DeviceListFree> devices(
        upnpDiscover(static_cast<int>(searchDelay.count()), nullptr, nullptr, UPNP_LOCAL_PORT_ANY,
                     0, 2, &error));
    if (!devices) {
        return {};
    }
    Gateway gateway;
#if MINIUPNPC_API_VERSION >= 18
    char wanAddress[64] = "";
    int found = UPNP_GetValidIGD(devices.get(), &gateway.urls, &gateway.data, gateway.lanAddress,
                                 sizeof gateway.lanAddress, wanAddress, sizeof wanAddress);
#else
    int found = UPNP_GetValidIGD(devices.get(), &gateway.urls, &gateway.data, gateway.lanAddress,
                                 sizeof gateway.lanAddress);
#endif
    if (found <= 0 || found >= NotAGateway || gateway.urls.rootdescURL == nullptr) {
        return {};
    }
    return gateway.urls.rootdescURL;
}

RouterAnswer AskOrSearch(const std::string& knownUrl, std::chrono::milliseconds searchDelay) {
    if (!knownUrl.empty()) {
        if (std::optional<std::string> address = AskAt(knownUrl)) {
            return {knownUrl, address};
        }
    }
    std::string url = Discover(searchDelay);
    if (url.empty()) {
        return {};
    }
    return {url, AskAt(url)};
}

}  // namespace

std::optional<RouterAnswer> AskRouter(const std::string& knownUrl,
                                      std::chrono::milliseconds searchDelay,
                                      std::chrono::milliseconds bound) {
    // On Windows libcurl's global initialisation starts Winsock, which miniupnpc's sockets need
    // too; done here, on the program's thread, since it may not run beside other libcurl calls.
    curl::GlobalInit();
    // Shared with the thread, which a wait that gives up leaves to write it alone.
    struct Shared {
        std::mutex mutex;
        RouterAnswer answer;
    };
    auto shared = std::make_shared<Shared>();
    platform::WorkEnd end = platform::RunBesideTheLoop(
        [shared, knownUrl, searchDelay] {
            RouterAnswer answer = AskOrSearch(knownUrl, searchDelay);
            std::lock_guard lock(shared->mutex);
            shared->answer = std::move(answer);
        },
        bound);
    if (end == platform::WorkEnd::Stopped) {
        return std::nullopt;
    }
    std::lock_guard lock(shared->mutex);
    return end == platform::WorkEnd::Done ? shared->answer : RouterAnswer{};
}

}  // namespace net::upnp
