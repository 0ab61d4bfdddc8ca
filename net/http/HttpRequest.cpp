#include "net/http/HttpRequest.h"

#include "platform/ProgramInfo.h"
#include "platform/RuntimeError.h"
#include "platform/Version.h"

namespace net::http {

namespace {

std::optional<HttpBounds>& BoundsOverride() {
    static std::optional<HttpBounds> bounds;
    return bounds;
}

HttpRequestFactory& FactoryOverride() {
    static HttpRequestFactory factory;
    return factory;
}

}  // namespace

// Maker, program, system and release, and whom to ask: as providers ask of clients.
std::string UserAgent() {
    return "Tovik ZARVOUpdater/" + platform::SystemName() + "-" + platform::ProgramVersion() + " " +
           platform::build::SupportAddress;
}

HttpBounds CurrentHttpBounds() {
    return BoundsOverride().value_or(HttpBounds{});
}

void OverrideHttpBounds(std::optional<HttpBounds> bounds) {
    BoundsOverride() = bounds;
}

std::unique_ptr<HttpRequest> CreateHttpRequest() {
    if (!FactoryOverride()) {
        return CreateCurlHttpRequest();
    }
    std::unique_ptr<HttpRequest> request = FactoryOverride()();
    if (!request) {
        throw platform::errors::CannotCreateObjectError("HTTP request object");
    }
    return request;
}

void OverrideHttpRequestFactory(HttpRequestFactory factory) {
    FactoryOverride() = std::move(factory);
}

}  // namespace net::http
