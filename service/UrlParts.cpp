#include "service/UrlParts.h"

#include "platform/RuntimeError.h"

namespace {
// Position 8 counted from 1 is the first character after "http://".
constexpr std::string::size_type FirstSearchedIndex = 7;

std::string::size_type PathSlash(const std::string& url) {
    auto slash = url.find('/', FirstSearchedIndex);
    if (slash == std::string::npos) {
        throw platform::errors::InvalidProcedureCallError();
    }
    return slash;
}
}  // namespace

std::string ServerPart(const std::string& url) {
    return url.substr(0, PathSlash(url));
}

std::string PathPart(const std::string& url) {
    return url.substr(PathSlash(url));
}

std::string WithoutCredentials(const std::string& url) {
    const auto scheme = url.find("://");
    const auto authority = scheme == std::string::npos ? 0 : scheme + 3;
    const auto end = url.find_first_of("/?#", authority);
    // The last "@" ends the credentials: a password may hold one of its own.
    const auto at = url.rfind('@', end == std::string::npos ? url.npos : end);
    if (at == std::string::npos || at < authority) {
        return url;
    }
    return url.substr(0, authority) + url.substr(at + 1);
}
