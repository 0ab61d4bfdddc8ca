#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/AddressFamily.h"
#include "net/curl/TransferBounds.h"

namespace net::http {

/// The limits of one HTTP exchange, under the name the request's users know them by.
using HttpBounds = curl::TransferBounds;

/// The bounds new requests get: the defaults above, or the override.
HttpBounds CurrentHttpBounds();
/// Makes new requests use `bounds` instead of the defaults; std::nullopt undoes it. For tests,
/// which cannot wait a minute for a stalled server.
void OverrideHttpBounds(std::optional<HttpBounds> bounds);

/// One HTTP exchange in the manner of a browser's XMLHTTP request object: open, set headers,
/// send, watch the ready state, read the response. A failing call throws RuntimeError.
class HttpRequest {
  public:
    /// The ready states as the request object reports them.
    enum State { Uninitialized = 0, Opened = 1, Sent = 2, Receiving = 3, Completed = 4 };

    virtual ~HttpRequest() = default;

    /// Prepares a request. Standard methods go out in upper case whatever the caller's case.
    /// Credentials go as Basic with the request itself over https; over http they are offered
    /// only when the server asks for them; none go when both are empty.
    virtual void open(const std::string& method, const std::string& url, bool async,
                      const std::string& user, const std::string& password) = 0;
    virtual void setRequestHeader(const std::string& name, const std::string& value) = 0;
    /// Connects over this family only; IPv4 unless set between open and send. An echo page
    /// shows the address of the family it was reached over.
    virtual void setAddressFamily(AddressFamily family) = 0;
    /// Starts the exchange; GET and HEAD send no body. A synchronous request returns only when
    /// the exchange has ended.
    virtual void send(const std::string& body) = 0;
    /// Completed also after a failed exchange; the response then cannot be read.
    virtual int readyState() = 0;
    /// Sleeps until the exchange moves, a signal is pending for the current event loop, or a
    /// bound is due, and carries the exchange on. Returns at once when nothing is outstanding.
    virtual void wait() = 0;
    /// The status code of the final response.
    virtual int status() = 0;
    /// The value of a header of the final response as the server sent it; empty when absent.
    virtual std::string getResponseHeader(const std::string& name) = 0;
    /// The body decoded as UTF-8; invalid sequences become U+FFFD.
    virtual std::string responseText() = 0;
    virtual std::vector<std::uint8_t> responseBody() = 0;
    /// Cancels an outstanding exchange; the object returns to Uninitialized.
    virtual void abort() = 0;
};

using HttpRequestFactory = std::function<std::unique_ptr<HttpRequest>()>;

/// A new request object from the factory in force; throws RuntimeError when none can be made.
std::unique_ptr<HttpRequest> CreateHttpRequest();

/// The User-Agent every request sends.
std::string UserAgent();
/// The real request object (libcurl), whatever the factory in force.
std::unique_ptr<HttpRequest> CreateCurlHttpRequest();
/// Replaces the factory that CreateHttpRequest() uses; an empty function restores libcurl.
void OverrideHttpRequestFactory(HttpRequestFactory factory);

}  // namespace net::http
