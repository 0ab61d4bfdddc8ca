#include "platform/HttpRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <climits>
#include <string_view>

#include "platform/CurlPoll.h"
#include "platform/EventLoop.h"
#include "platform/HttpRedirect.h"
#include "platform/ProgramInfo.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

std::optional<HttpBounds>& BoundsOverride() {
    static std::optional<HttpBounds> bounds;
    return bounds;
}

HttpRequestFactory& FactoryOverride() {
    static HttpRequestFactory factory;
    return factory;
}

RuntimeError UsageError(const std::string& detail) {
    return RuntimeError(errors::InvalidProcedureCall,
                        "Invalid procedure call or argument: " + detail);
}

RuntimeError TransferError(CURLcode code, const std::string& detail) {
    return RuntimeError(code, detail.empty() ? curl_easy_strerror(code) : detail);
}

bool IsToken(std::string_view text) {
    constexpr std::string_view punctuation = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               punctuation.find(c) != std::string_view::npos;
    });
}

// Browsers' request objects send these in upper case whatever the script wrote, and servers
// answer a lower-case "get" with 400; the tunnelling and tracing methods they refuse outright.
std::string WireMethod(const std::string& method) {
    if (!IsToken(method)) {
        throw UsageError("method \"" + method + "\"");
    }
    for (std::string_view refused : {"CONNECT", "TRACE", "TRACK"}) {
        if (EqualsIgnoringCase(method, refused)) {
            throw UsageError("method " + method + " is not allowed");
        }
    }
    for (std::string_view standard : {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
        if (EqualsIgnoringCase(method, standard)) {
            return std::string(standard);
        }
    }
    return method;
}

// libcurl would guess a scheme for "host/path" and accept blanks in places; the request object
// takes only complete http and https URLs.
void CheckUrl(const std::string& url) {
    CURLU* handle = curl_url();
    if (handle == nullptr) {
        throw RuntimeError(CURLE_OUT_OF_MEMORY, "Out of memory");
    }
    char* scheme = nullptr;
    CURLUcode code = curl_url_set(handle, CURLUPART_URL, url.c_str(), 0);
    if (code == CURLUE_OK) {
        code = curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0);
    }
    bool web = code == CURLUE_OK && scheme != nullptr &&
               (std::string_view(scheme) == "http" || std::string_view(scheme) == "https");
    curl_free(scheme);
    curl_url_cleanup(handle);
    // The URL itself stays out of the text: it may carry credentials, and callers that report
    // the failure name the URL themselves.
    if (code != CURLUE_OK) {
        throw UsageError(std::string("URL not accepted: ") + curl_url_strerror(code));
    }
    if (!web) {
        throw UsageError("URL not accepted: not an http or https URL");
    }
}

// Decodes like a browser: a leading byte-order mark goes, every invalid sequence becomes
// U+FFFD, so that no malformed text travels on into logs and mails.
std::string DecodeUtf8(const std::vector<std::uint8_t>& bytes) {
    constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string text;
    text.reserve(bytes.size());
    std::size_t i =
        bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    while (i < bytes.size()) {
        std::uint8_t lead = bytes[i];
        if (lead < 0x80) {
            text += static_cast<char>(lead);
            ++i;
            continue;
        }
        std::size_t length = (lead & 0xE0) == 0xC0   ? 2
                             : (lead & 0xF0) == 0xE0 ? 3
                             : (lead & 0xF8) == 0xF0 ? 4
                                                     : 0;
        std::uint32_t point = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
        std::size_t taken = 1;
        while (taken < length && i + taken < bytes.size() && (bytes[i + taken] & 0xC0) == 0x80) {
            point = (point << 6) | (bytes[i + taken] & 0x3F);
            ++taken;
        }
        constexpr std::array<std::uint32_t, 5> smallest{0, 0, 0x80, 0x800, 0x10000};
        bool valid = length != 0 && taken == length && point >= smallest[length] &&
                     point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
        if (valid) {
            text.append(reinterpret_cast<const char*>(&bytes[i]), length);
        } else {
            text += replacement;
        }
        i += taken;
    }
    return text;
}

class CurlHttpRequest final : public HttpRequest {
  public:
    CurlHttpRequest() {
        static const CURLcode global = curl_global_init(CURL_GLOBAL_DEFAULT);
        multi_ = global == CURLE_OK ? curl_multi_init() : nullptr;
        easy_ = global == CURLE_OK ? curl_easy_init() : nullptr;
        if (multi_ == nullptr || easy_ == nullptr) {
            Release();
            throw errors::CannotCreateObjectError("HTTP request object");
        }
    }
    ~CurlHttpRequest() override { Release(); }
    CurlHttpRequest(const CurlHttpRequest&) = delete;
    CurlHttpRequest& operator=(const CurlHttpRequest&) = delete;

    void open(const std::string& method, const std::string& url, bool async,
              const std::string& user, const std::string& password) override {
        Reset();
        std::string wireMethod = WireMethod(method);
        CheckUrl(url);
        bounds_ = CurrentHttpBounds();
        const std::string userAgent = "Tovik-ZARVOUpdater/" + ProgramVersion();
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
            // With two schemes offered libcurl sends nothing until the server's challenge says
            // which one it wants.
            Set(CURLOPT_USERNAME, user.c_str());
            Set(CURLOPT_PASSWORD, password.c_str());
            Set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
        }
        method_ = std::move(wireMethod);
        url_ = url;
        async_ = async;
        state_ = Opened;
    }

    void setRequestHeader(const std::string& name, const std::string& value) override {
        if (state_ != Opened) {
            throw UsageError("request header outside of an opened request");
        }
        if (!IsToken(name) || value.find_first_of(std::string_view("\r\n\0", 3)) != value.npos) {
            throw UsageError("request header \"" + name + "\"");
        }
        for (auto& [known, values] : requestHeaders_) {
            if (EqualsIgnoringCase(known, name)) {
                values += ", " + value;
                return;
            }
        }
        requestHeaders_.emplace_back(name, value);
    }

    void send(const std::string& body) override {
        if (state_ != Opened) {
            throw UsageError("send outside of an opened request");
        }
        for (const auto& [name, value] : requestHeaders_) {
            // "Name;" is libcurl's way of sending a header with an empty value.
            Append(value.empty() ? name + ";" : name + ": " + value);
        }
        // Waiting for "100 Continue" only delays servers that never send it.
        Append("Expect:");
        Set(CURLOPT_HTTPHEADER, headerList_);
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
        CURLMcode added = curl_multi_add_handle(multi_, easy_);
        if (added != CURLM_OK) {
            throw RuntimeError(CURLE_FAILED_INIT, curl_multi_strerror(added));
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

    std::string getResponseHeader(const std::string& name) override {
        RequireResponse();
        std::string joined;
        for (const auto& [known, value] : responseHeaders_) {
            if (EqualsIgnoringCase(known, name)) {
                joined += joined.empty() ? value : ", " + value;
            }
        }
        return joined;
    }

    std::string responseText() override {
        RequireResponse();
        return DecodeUtf8(body_);
    }

    std::vector<std::uint8_t> responseBody() override {
        RequireResponse();
        return body_;
    }

    void abort() override { Reset(); }

  private:
    template <typename Value>
    void Set(CURLoption option, Value value) {
        CURLcode code = curl_easy_setopt(easy_, option, value);
        if (code != CURLE_OK) {
            throw TransferError(code, "");
        }
    }

    void Append(const std::string& header) {
        curl_slist* list = curl_slist_append(headerList_, header.c_str());
        if (list == nullptr) {
            throw RuntimeError(CURLE_OUT_OF_MEMORY, "Out of memory");
        }
        headerList_ = list;
    }

    void Reset() {
        Detach();
        curl_easy_reset(easy_);
        curl_slist_free_all(headerList_);
        headerList_ = nullptr;
        requestHeaders_.clear();
        responseHeaders_.clear();
        body_.clear();
        headersDone_ = false;
        bodyStarted_ = false;
        bodyTooLong_ = false;
        redirects_ = 0;
        uploaded_ = 0;
        result_ = CURLE_OK;
        failure_.clear();
        errorText_[0] = '\0';
        state_ = Uninitialized;
    }

    void Release() {
        Detach();
        if (easy_ != nullptr) {
            curl_easy_cleanup(easy_);
        }
        if (multi_ != nullptr) {
            curl_multi_cleanup(multi_);
        }
        curl_slist_free_all(headerList_);
    }

    void Detach() {
        if (attached_) {
            curl_multi_remove_handle(multi_, easy_);
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
        CURLMcode polled = PollTransfers(multi_, timeout, withRequests);
        if (polled != CURLM_OK) {
            Finish(CURLE_RECV_ERROR, curl_multi_strerror(polled));
        }
    }

    void Drive() {
        if (!attached_) {
            return;
        }
        int running = 0;
        CURLMcode performed = curl_multi_perform(multi_, &running);
        if (performed != CURLM_OK) {
            Finish(CURLE_RECV_ERROR, curl_multi_strerror(performed));
            return;
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg == CURLMSG_DONE) {
                if (message->data.result == CURLE_OK && FollowRedirect()) {
                    return;
                }
                Finish(message->data.result, bodyTooLong_
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
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(easy_, CURLINFO_REDIRECT_URL, &location);
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
            CheckUrl(target);
            Detach();
            if (!RedirectKeepsCredentials(url_, target)) {
                Set(CURLOPT_USERNAME, static_cast<char*>(nullptr));
                Set(CURLOPT_PASSWORD, static_cast<char*>(nullptr));
                Set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
            }
            const std::string method = MethodAfterRedirect(method_, status);
            if (method != method_) {
                Set(CURLOPT_CUSTOMREQUEST, static_cast<char*>(nullptr));
                Set(CURLOPT_HTTPGET, 1L);
                method_ = method;
            }
            Set(CURLOPT_URL, target.c_str());
        } catch (const RuntimeError& error) {
            Finish(error.Number() == errors::InvalidProcedureCall
                       ? CURLE_UNSUPPORTED_PROTOCOL
                       : static_cast<CURLcode>(error.Number()),
                   "Redirect not followed: " + error.Description());
            return true;
        }
        url_ = target;
        ++redirects_;
        responseHeaders_.clear();
        body_.clear();
        headersDone_ = bodyStarted_ = bodyTooLong_ = false;
        CURLMcode added = curl_multi_add_handle(multi_, easy_);
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
            throw UsageError("the response is not complete");
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
        std::string_view line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        if (self->bodyStarted_) {
            // Trailers of a chunked body: no response follows one whose body was handed on,
            // so not even a line that looks like a status line starts a new one.
        } else if (line.starts_with("HTTP/")) {
            // A new response (after a redirect, a challenge or "100 Continue"): only the
            // final one counts.
            self->responseHeaders_.clear();
            self->body_.clear();
            self->headersDone_ = false;
        } else if (line.empty()) {
            self->headersDone_ = true;
        } else if (self->headersDone_) {
            // Trailers of an empty chunked body are not headers of the response either.
        } else if ((line.front() == ' ' || line.front() == '\t') &&
                   !self->responseHeaders_.empty()) {
            self->responseHeaders_.back().second += " " + std::string(TrimBlanks(line));
        } else if (auto colon = line.find(':'); colon != line.npos) {
            self->responseHeaders_.emplace_back(std::string(line.substr(0, colon)),
                                                std::string(TrimBlanks(line.substr(colon + 1))));
        }
        return size * count;
    } catch (...) {
        return 0;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* user) noexcept try {
        auto* self = static_cast<CurlHttpRequest*>(user);
        std::size_t length = size * count;
        self->lastProgress_ = Clock::now();
        // The length header may be missing or lie; the limit holds for what really arrives.
        if (length > self->bounds_.maxBody - self->body_.size()) {
            self->bodyTooLong_ = true;
            return 0;
        }
        self->body_.insert(self->body_.end(), data, data + length);
        self->bodyStarted_ = true;
        self->state_ = Receiving;
        return length;
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

    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
    curl_slist* headerList_ = nullptr;
    bool attached_ = false;
    bool async_ = true;
    int state_ = Uninitialized;
    std::string method_;
    std::string url_;
    int redirects_ = 0;
    HttpBounds bounds_;
    std::vector<std::pair<std::string, std::string>> requestHeaders_;
    std::vector<std::pair<std::string, std::string>> responseHeaders_;
    bool headersDone_ = false;
    bool bodyStarted_ = false;
    bool bodyTooLong_ = false;
    std::vector<std::uint8_t> body_;
    curl_off_t uploaded_ = 0;
    Clock::time_point started_{};
    Clock::time_point lastProgress_{};
    CURLcode result_ = CURLE_OK;
    std::string failure_;
    char errorText_[CURL_ERROR_SIZE] = {};
};

}  // namespace

HttpBounds CurrentHttpBounds() {
    return BoundsOverride().value_or(HttpBounds{});
}

void OverrideHttpBounds(std::optional<HttpBounds> bounds) {
    BoundsOverride() = bounds;
}

std::unique_ptr<HttpRequest> CreateCurlHttpRequest() {
    return std::make_unique<CurlHttpRequest>();
}

std::unique_ptr<HttpRequest> CreateHttpRequest() {
    if (!FactoryOverride()) {
        return CreateCurlHttpRequest();
    }
    std::unique_ptr<HttpRequest> request = FactoryOverride()();
    if (!request) {
        throw errors::CannotCreateObjectError("HTTP request object");
    }
    return request;
}

void OverrideHttpRequestFactory(HttpRequestFactory factory) {
    FactoryOverride() = std::move(factory);
}

}  // namespace platform
