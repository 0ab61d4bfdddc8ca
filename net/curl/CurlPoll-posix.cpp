#include "net/curl/CurlPoll.h"

#include "platform/EventLoop.h"

namespace net::curl {

CURLMcode PollTransfers(CURLM* multi, int timeoutMilliseconds, bool wakeForRequests) {
    platform::EventLoop* loop = wakeForRequests ? platform::EventLoop::Current() : nullptr;
    if (loop == nullptr) {
        return curl_multi_poll(multi, nullptr, 0, timeoutMilliseconds, nullptr);
    }
    curl_waitfd requests{};
    requests.fd = static_cast<curl_socket_t>(loop->WakeHandle());
    requests.events = CURL_WAIT_POLLIN;
    return curl_multi_poll(multi, &requests, 1, timeoutMilliseconds, nullptr);
}

}  // namespace net::curl
