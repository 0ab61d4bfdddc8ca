#include <algorithm>
#include <climits>
#include <string_view>

#include "net/curl/Curl.h"
#include "net/curl/CurlPoll.h"
#include "net/curl/CurlShared.h"
#include "net/http/HttpRedirect.h"
#include "net/http/HttpRequest.h"
#include "net/http/HttpResponse.h"
#include "net/http/RequestRules.h"
#include "platform/EventLoop.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace net::http {

namespace {

using Clock = std::chrono::steady_clock;

platform::RuntimeError TransferError(CURLcode code, const std::string& detail) {
    return platform::RuntimeError(code, detail.empty() ? curl_easy_strerror(code) : detail);
}

class CurlHttpRequest final : public HttpRequest {
  public:
    CurlHttpRequest() {
        if (curl::GlobalInit() == CURLE_OK) {
            easy_.reset(curl_easy_init());
        }
        if (multi_.get() == nullptr || !easy_) {
            throw platform::errors::CannotCreateObjectError("HTTP request object");
        }
    }
    // The easy handle leaves the multi handle before either is freed.
    ~CurlHttpRequest() override { Detach(); }
    CurlHttpRequest(const CurlHttpRequest&) = delete;
    CurlHttpRequest& operator=(const CurlHttpRequest&) = delete;

    void open(const std::string& method, const std::string& url, bool async,
              const std::string& user, const std::string& password) override {
        Reset();
        std::string wireMethod = WireMethod(method);
        CheckRequestUrl(url);
        bounds_ = CurrentHttpBounds();
        const std::string userAgent = UserAgent();
        Set(CURLOPT_ERRORBUFFER, errorText_);
        Set(CURLOPT_URL, url.c_str());
        Set(CURLOPT_NOSIGNAL, 1L);
        Set(CURLOPT_PROTOCOLS_STR, "http,https");
        // Redirects are followed here, not by libcurl, which drops the credentials on the
        // upgrade from http to https that providers ask for.
        Set(CURLOPT_FOLLOWLOCATION, 0L);
        Set(CURLOPT_USERAGENT, userAgent.c_str());
        Set(CURLOPT_IPRESOLVE, static_cast<long>(CURL_IPRESOLVE_V4));
        Set(CURLOPT_SSL_VERIFYPEER, 1L);
        Set(CURLOPT_SSL_VERIFYHOST, 2L);
        curl::SetTrust(easy_.get());
        curl::JoinShared(easy_.get());
        Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(bounds_.connect.count()));
        Set(CURLOPT_TIMEOUT_MS, static_cast<long>(bounds_.total.count()));
        Set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(bounds_.maxBody));
        Set(CURLOPT_HEADERFUNCTION, &CurlHttpRequest::OnHeader);
        Set(CURLOPT_HEADERDATA, this);
        Set(CURLOPT_WRITEFUNCTION, &CurlHttpRequest::OnBody);
        Set(CURLOPT_WRITEDATA, this);
        Set(CURLOPT_XFERINFOFUNCTION, &CurlHttpRequest::OnProgress);
        Set(CURLOPT_XFERINFODATA, this);
        Set(CURLOPT_NOPROGRESS, 0L);
        if (!user.empty() || !password.empty()) {
            // Over https Basic goes with the request itself: providers exist that answer
            // "badauth" without a challenge. Over http, with two schemes offered, libcurl sends
            // nothing until the server's challenge says which one it wants, so that a server
            // offering Digest gets Digest rather than the password.
            Set(CURLOPT_USERNAME, user.c_str());
            Set(CURLOPT_PASSWORD, password.c_str());
            Set(CURLOPT_HTTPAUTH,
                static_cast<long>(CredentialsUpFront(url) ? CURLAUTH_BASIC
                                                          : CURLAUTH_BASIC | CURLAUTH_DIGEST));
        }
        method_ = std::move(wireMethod);
        url_ = url;
        async_ = async;
        state_ = Opened;
    }

    void setRequestHeader(const std::string& name, const std::string& value) override {
        if (state_ != Opened) {
            throw HttpUsageError("request header outside of an opened request");
        }
        if (!IsHttpToken(name) || platform::HasLineBreakOrNul(value)) {
            throw HttpUsageError("request header \"" + name + "\"");
        }
        for (auto& [known, values] : requestHeaders_) {
            if (platform::EqualsIgnoringCase(known, name)) {
                values += ", " + value;
                return;
            }
        }
        requestHeaders_.emplace_back(name, value);
    }

    void setAddressFamily(AddressFamily family) override {
        if (state_ != Opened) {
            throw HttpUsageError("address family outside of an opened request");
        }
        Set(CURLOPT_IPRESOLVE,
            static_cast<long>(family == AddressFamily::IPv4   ? CURL_IPRESOLVE_V4
                              : family == AddressFamily::IPv6 ? CURL_IPRESOLVE_V6
                                                              : CURL_IPRESOLVE_WHATEVER));
    }

    void send(const std::string& body) override {
        if (state_ != Opened) {
            throw HttpUsageError("send outside of an opened request");
        }
        for (const auto& [name, value] : requestHeaders_) {
            // "Name;" is libcurl's way of sending a header with an empty value.
            Append(value.empty() ? name + ";" : name + ": " + value);
        }
        // Waiting for "100 Continue" only delays servers that never send it.
        Append("Expect:");
        Set(CURLOPT_HTTPHEADER, headerList_.get());
        if (method_ == "GET") {
            Set(CURLOPT_HTTPGET, 1L);
        } else if (method_ == "HEAD") {
            Set(CURLOPT_NOBODY, 1L);
        } else {
            Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
            Set(CURLOPT_COPYPOSTFIELDS, body.c_str());
            if (method_ != "POST") {
                Set(CURLOPT_CUSTOMREQUEST, method_.c_str());
            }
        }
        CURLMcode added = curl_multi_add_handle(multi_.get(), easy_.get());
        if (added != CURLM_OK) {
            throw platform::RuntimeError(CURLE_FAILED_INIT, curl_multi_strerror(added));
        }
        attached_ = true;
        state_ = Sent;
        started_ = lastProgress_ = Clock::now();
        Drive();
        while (!async_ && attached_) {
            Sleep(false);
            Drive();
        }
    }

    int readyState() override {
        if (attached_) {
            Drive();
        }
        return state_;
    }

    void wait() override {
        if (attached_) {
            Sleep(true);
            Drive();
        }
    }

    int status() override {
        RequireResponse();
        long code = 0;
        curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
        return static_cast<int>(code);
    }

    std::string getResponseHeader(const std::string& name) override {
        RequireResponse();
        return response_.Header(name);
    }

    std::string responseText() override {
        RequireResponse();
        const std::vector<std::uint8_t>& body = response_.Body();
        return platform::DecodeUtf8(
            std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
    }

    std::vector<std::uint8_t> responseBody() override {
        RequireResponse();
        return response_.Body();
    }

    void abort() override { Reset(); }

  private:
    template <typename Value>
    void Set(CURLoption option, Value value) {
        curl::SetOption(easy_.get(), option, value);
    }

    void Append(const std::string& header) {
        if (!curl::Append(headerList_, header)) {
            throw platform::RuntimeError(CURLE_OUT_OF_MEMORY, "Out of memory");
        }
    }

    void Reset() {
        Detach();
        curl_easy_reset(easy_.get());
        headerList_.reset();
        requestHeaders_.clear();
        response_.Clear();
        redirects_ = 0;
        uploaded_ = 0;
        result_ = CURLE_OK;
        failure_.clear();
        errorText_[0] = '\0';
        state_ = Uninitialized;
    }

    void Detach() {
        if (attached_) {
            curl_multi_remove_handle(multi_.get(), easy_.get());
            attached_ = false;
        }
    }

    void Finish(CURLcode code, const std::string& detail) {
        Detach();
        result_ = code;
        failure_ = detail;
        state_ = Completed;
    }

    // Sleeps no longer than the nearest bound of our own, so that a stalled exchange is noticed
    // in time; libcurl shortens the sleep further for its own timers.
    void Sleep(bool withRequests) {
        Clock::time_point due = std::min(lastProgress_ + bounds_.stall, started_ + bounds_.total);
        auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
        int timeout = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        CURLMcode polled = curl::PollTransfers(multi_.get(), timeout, withRequests);
        if (polled != CURLM_OK) {
            Finish(CURLE_RECV_ERROR, curl_multi_strerror(polled));
        }
    }

    void Drive() {
        if (!attached_) {
            return;
        }
        int running = 0;
        CURLMcode performed = curl_multi_perform(multi_.get(), &running);
        if (performed != CURLM_OK) {
            Finish(CURLE_RECV_ERROR, curl_multi_strerror(performed));
            return;
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
            if (message->msg == CURLMSG_DONE) {
                if (message->data.result == CURLE_OK && FollowRedirect()) {
                    return;
                }
                Finish(message->data.result, response_.BodyTooLong()
                                                 ? "Response body longer than " +
                                                       std::to_string(bounds_.maxBody) + " bytes"
                                                 : std::string(errorText_));
                return;
            }
        }
        auto now = Clock::now();
        if (now - lastProgress_ >= bounds_.stall) {
            Finish(CURLE_OPERATION_TIMEDOUT,
                   "No data moved for " + std::to_string(bounds_.stall.count()) + " ms");
        } else if (now - started_ >= bounds_.total) {
            Finish(CURLE_OPERATION_TIMEDOUT,
                   "Exchange longer than " + std::to_string(bounds_.total.count()) + " ms");
        }
    }

    // True when the answer was a redirect, which is then followed or has ended the exchange.
    bool FollowRedirect() {
        constexpr int maxRedirects = 5;
        long status = 0;
        char* location = nullptr;
        curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(easy_.get(), CURLINFO_REDIRECT_URL, &location);
        if (location == nullptr ||
            (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)) {
            return false;
        }
        const std::string target = location;
        if (redirects_ == maxRedirects) {
            Finish(CURLE_TOO_MANY_REDIRECTS,
                   "Maximum (" + std::to_string(maxRedirects) + ") redirects followed");
            return true;
        }
        try {
            CheckRequestUrl(target);
            Detach();
            if (!RedirectKeepsCredentials(url_, target)) {
                Set(CURLOPT_USERNAME, static_cast<char*>(nullptr));
                Set(CURLOPT_PASSWORD, static_cast<char*>(nullptr));
                Set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
            } else if (CredentialsUpFront(target)) {
                // The provider's upgrade from http to https: from here on as over https.
                Set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
            }
            const std::string method = MethodAfterRedirect(method_, status);
            if (method != method_) {
                Set(CURLOPT_CUSTOMREQUEST, static_cast<char*>(nullptr));
                Set(CURLOPT_HTTPGET, 1L);
                method_ = method;
            }
            Set(CURLOPT_URL, target.c_str());
        } catch (const platform::RuntimeError& error) {
            Finish(error.Number() == platform::errors::InvalidProcedureCall
                       ? CURLE_UNSUPPORTED_PROTOCOL
                       : static_cast<CURLcode>(error.Number()),
                   "Redirect not followed: " + error.Description());
            return true;
        }
        url_ = target;
        ++redirects_;
        response_.Clear();
        CURLMcode added = curl_multi_add_handle(multi_.get(), easy_.get());
        if (added != CURLM_OK) {
            Finish(CURLE_FAILED_INIT, curl_multi_strerror(added));
            return true;
        }
        attached_ = true;
        state_ = Sent;
        return true;
    }

    void RequireResponse() const {
        if (state_ != Completed) {
            throw HttpUsageError("the response is not complete");
        }
        if (result_ != CURLE_OK) {
            throw TransferError(result_, failure_);
        }
    }

    // The callbacks run inside libcurl, where no exception may pass; returning a short count
    // makes libcurl end the exchange with an error instead.
    static size_t OnHeader(char* data, size_t size, size_t count, void* user) noexcept try {
        auto* self = static_cast<CurlHttpRequest*>(user);
        self->lastProgress_ = Clock::now();
        self->response_.HeaderLine(std::string_view(data, size * count));
        return size * count;
    } catch (...) {
        return 0;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* user) noexcept try {
        auto* self = static_cast<CurlHttpRequest*>(user);
        self->lastProgress_ = Clock::now();
        if (!self->response_.BodyPiece(std::string_view(data, size * count),
                                       self->bounds_.maxBody)) {
            return 0;
        }
        self->state_ = Receiving;
        return size * count;
    } catch (...) {
        return 0;
    }

    static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t,
                          curl_off_t uploaded) noexcept {
        auto* self = static_cast<CurlHttpRequest*>(user);
        if (uploaded != self->uploaded_) {
            self->uploaded_ = uploaded;
            self->lastProgress_ = Clock::now();
        }
        return 0;
    }

    curl::TransferMulti multi_;
    curl::EasyHandle easy_;
    curl::StringList headerList_;
    bool attached_ = false;
    bool async_ = true;
    int state_ = Uninitialized;
    std::string method_;
    std::string url_;
    int redirects_ = 0;
    HttpBounds bounds_;
    std::vector<std::pair<std::string, std::string>> requestHeaders_;
    HttpResponse response_;
    curl_off_t uploaded_ = 0;
    Clock::time_point started_{};
    Clock::time_point lastProgress_{};
    CURLcode result_ = CURLE_OK;
    std::string failure_;
    char errorText_[CURL_ERROR_SIZE] = {};
};

}  // namespace

std::unique_ptr<HttpRequest> CreateCurlHttpRequest() {
    return std::make_unique<CurlHttpRequest>();
}

}  // namespace net::http
