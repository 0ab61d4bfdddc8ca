#include "net/http/RequestRules.h"

#include <algorithm>

#include "net/curl/Curl.h"
#include "platform/Text.h"

namespace net::http {

platform::RuntimeError HttpUsageError(const std::string& detail) {
    return platform::RuntimeError(platform::errors::InvalidProcedureCall,
                                  "Invalid procedure call or argument: " + detail);
}

// libcurl would guess a scheme for "host/path" and accept blanks in places; the request object
// takes only complete http and https URLs.
void CheckRequestUrl(const std::string& url) {
    curl::UrlHandle handle(curl_url());
    if (!handle) {
        throw platform::RuntimeError(CURLE_OUT_OF_MEMORY, "Out of memory");
    }
    const CURLUcode code = curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0);
    const auto scheme = curl::UrlPart(handle.get(), CURLUPART_SCHEME);
    const bool web = scheme && (*scheme == "http" || *scheme == "https");
    // The URL itself stays out of the text: it may carry credentials, and callers that report
    // the failure name the URL themselves.
    if (code != CURLUE_OK) {
        throw HttpUsageError(std::string("URL not accepted: ") + curl_url_strerror(code));
    }
    if (!web) {
        throw HttpUsageError("URL not accepted: not an http or https URL");
    }
    // A zone id names an interface of this machine; no address outside it could answer there.
    if (curl::UrlPart(handle.get(), CURLUPART_ZONEID)) {
        throw HttpUsageError("URL not accepted: zone id");
    }
}

bool IsHttpToken(std::string_view text) {
    constexpr std::string_view punctuation = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               punctuation.find(c) != std::string_view::npos;
    });
}

// Browsers' request objects send these in upper case whatever the script wrote, and servers
// answer a lower-case "get" with 400; the tunnelling and tracing methods they refuse outright.
std::string WireMethod(const std::string& method) {
    if (!IsHttpToken(method)) {
        throw HttpUsageError("method \"" + method + "\"");
    }
    for (std::string_view refused : {"CONNECT", "TRACE", "TRACK"}) {
        if (platform::EqualsIgnoringCase(method, refused)) {
            throw HttpUsageError("method " + method + " is not allowed");
        }
    }
    for (std::string_view standard : {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
        if (platform::EqualsIgnoringCase(method, standard)) {
            return std::string(standard);
        }
    }
    return method;
}

}  // namespace net::http
