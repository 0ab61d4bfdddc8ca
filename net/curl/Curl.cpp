#include "net/curl/Curl.h"

namespace platform::curl {

CURLcode GlobalInit() {
    // Not thread-safe in libcurl; the function-local static makes it run once, before any
    // handle of either user exists.
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    return result;
}

bool Append(StringList& list, const std::string& line) {
    curl_slist* longer = curl_slist_append(list.get(), line.c_str());
    if (longer == nullptr) {
        return false;
    }
    // curl_slist_append returns the head it was given, or a new one for an empty list.
    static_cast<void>(list.release());
    list.reset(longer);
    return true;
}

std::optional<std::string> UrlPart(CURLU* url, CURLUPart part, unsigned int flags) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) {
        return std::nullopt;
    }
    std::string copy = text;
    curl_free(text);
    return copy;
}

}  // namespace platform::curl
