#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/RuntimeError.h"

/// libcurl as the HTTP request object and the mail component both use it: handles that free
/// themselves, the one global initialisation, setting options, and the pieces of a parsed URL.
namespace net::curl {

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiCleanup {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlCleanup {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;
using StringList = std::unique_ptr<curl_slist, ListCleanup>;
using UrlHandle = std::unique_ptr<CURLU, UrlCleanup>;

/// libcurl's global initialisation, done once for the process before the first handle; returns
/// its result, the same on every call.
CURLcode GlobalInit();

/// Sets one option of `handle`. libcurl refuses one only when memory runs out or it was built
/// without the feature; that throws RuntimeError with libcurl's code and its words for it.
template <typename Value>
void SetOption(CURL* handle, CURLoption option, Value value) {
    const CURLcode code = curl_easy_setopt(handle, option, value);
    if (code != CURLE_OK) {
        throw platform::RuntimeError(code, curl_easy_strerror(code));
    }
}

/// How long a parsed trust store and a TLS session serve new connections: a changed system
/// store is seen by every handshake at most twice this time later.
inline constexpr long kTrustStoreSeconds = 12 * 60 * 60;

/// Makes `handle` check a TLS peer against the system's certificate store, read from its folder
/// where there is one, else parsed from its bundle once for every kTrustStoreSeconds. In a build
/// with test hooks the environment variable ZARVO_CA_FILE, when set, names the only CA
/// certificates trusted: a PEM file, or a folder prepared by `openssl rehash`.
void SetTrust(CURL* handle);

/// Appends `line` to `list`; false, with the list unchanged, when memory ran out.
bool Append(StringList& list, const std::string& line);

/// One part of a parsed URL; nothing when the URL has no such part.
std::optional<std::string> UrlPart(CURLU* url, CURLUPart part, unsigned int flags = 0);

}  // namespace net::curl
