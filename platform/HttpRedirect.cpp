#include "platform/HttpRedirect.h"

#include <curl/curl.h>

#include <memory>
#include <optional>

#include "platform/Text.h"

namespace platform {

namespace {

struct Origin {
    std::string scheme, host, port;
};

std::optional<Origin> OriginOf(const std::string& url) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    Origin origin;
    const std::pair<CURLUPart, std::string*> parts[] = {{CURLUPART_SCHEME, &origin.scheme},
                                                        {CURLUPART_HOST, &origin.host},
                                                        {CURLUPART_PORT, &origin.port}};
    for (auto [part, text] : parts) {
        char* value = nullptr;
        if (curl_url_get(handle.get(), part, &value, CURLU_DEFAULT_PORT) != CURLUE_OK) {
            return std::nullopt;
        }
        *text = value;
        curl_free(value);
    }
    return origin;
}

}  // namespace

bool RedirectKeepsCredentials(const std::string& from, const std::string& to) {
    const std::optional<Origin> source = OriginOf(from), target = OriginOf(to);
    if (!source || !target || !EqualsIgnoringCase(source->host, target->host)) {
        return false;
    }
    if (source->scheme == target->scheme) {
        return source->port == target->port;
    }
    // An upgrade to TLS on the same host: the provider's own way to its encrypted address.
    return source->scheme == "http" && target->scheme == "https";
}

std::string MethodAfterRedirect(const std::string& method, long status) {
    if ((status == 303 && method != "HEAD") ||
        ((status == 301 || status == 302) && method == "POST")) {
        return "GET";
    }
    return method;
}

}  // namespace platform
