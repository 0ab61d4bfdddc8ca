#include "net/http/HttpRedirect.h"

#include <optional>

#include "net/curl/Curl.h"
#include "platform/Text.h"

namespace net::http {

namespace {

struct Origin {
    std::string scheme, host, port;
};

std::optional<Origin> OriginOf(const std::string& url) {
    curl::UrlHandle handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    Origin origin;
    const std::pair<CURLUPart, std::string*> parts[] = {{CURLUPART_SCHEME, &origin.scheme},
                                                        {CURLUPART_HOST, &origin.host},
                                                        {CURLUPART_PORT, &origin.port}};
    for (auto [part, text] : parts) {
        std::optional<std::string> value = curl::UrlPart(handle.get(), part, CURLU_DEFAULT_PORT);
        if (!value) {
            return std::nullopt;
        }
        *text = std::move(*value);
    }
    return origin;
}

}  // namespace

bool RedirectKeepsCredentials(const std::string& from, const std::string& to) {
    const std::optional<Origin> source = OriginOf(from), target = OriginOf(to);
    if (!source || !target || !platform::EqualsIgnoringCase(source->host, target->host)) {
        return false;
    }
    if (source->scheme == target->scheme) {
        return source->port == target->port;
    }
    // An upgrade to TLS on the same host: the provider's own way to its encrypted address.
    return source->scheme == "http" && target->scheme == "https";
}

bool CredentialsUpFront(const std::string& url) {
    const std::optional<Origin> origin = OriginOf(url);
    return origin && origin->scheme == "https";
}

std::string MethodAfterRedirect(const std::string& method, long status) {
    if ((status == 303 && method != "HEAD") ||
        ((status == 301 || status == 302) && method == "POST")) {
        return "GET";
    }
    return method;
}

}  // namespace net::http
