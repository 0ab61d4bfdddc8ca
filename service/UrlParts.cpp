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
