#include "net/curl/Curl.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace net::curl {

CURLcode GlobalInit() {
    // Not thread-safe in libcurl; the function-local static makes it run once, before any
    // handle of either user exists.
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    return result;
}

void SetTrust(CURL* handle) {
    SetOption(handle, CURLOPT_CA_CACHE_TIMEOUT, kTrustStoreSeconds);
    const curl_version_info_data* built = curl_version_info(CURLVERSION_NOW);
    const char* file = built->cainfo;
    const char* folder = built->capath;
#ifdef ZARVO_TEST_HOOKS
    if (const char* ours = std::getenv("ZARVO_CA_FILE"); ours != nullptr && *ours != '\0') {
        std::error_code error;
        const bool isFolder = std::filesystem::is_directory(ours, error);
        file = isFolder ? nullptr : ours;
        folder = isFolder ? ours : nullptr;
    }
#endif
    // Debian's libcurl names both the bundle and the folder it is made from, and then parses
    // the whole bundle for every connection: it keeps a parsed store only for a bundle alone.
    // The folder alone holds the same certificates and yields just those a handshake asks for.
    if (folder != nullptr) {
        file = nullptr;
    }
    if (file != built->cainfo) {
        SetOption(handle, CURLOPT_CAINFO, file);
    }
    if (folder != built->capath) {
        SetOption(handle, CURLOPT_CAPATH, folder);
    }
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

}  // namespace net::curl
