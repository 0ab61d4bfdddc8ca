#include "net/curl/CurlPoll.h"

#include "platform/EventLoop.h"

namespace platform {

CURLMcode PollTransfers(CURLM* multi, int timeoutMilliseconds, bool wakeForRequests) {
    EventLoop* loop = wakeForRequests ? EventLoop::Current() : nullptr;
    if (loop == nullptr) {
        return curl_multi_poll(multi, nullptr, 0, timeoutMilliseconds, nullptr);
    }
    curl_waitfd requests{};
    requests.fd = static_cast<curl_socket_t>(loop->WakeHandle());
    requests.events = CURL_WAIT_POLLIN;
    return curl_multi_poll(multi, &requests, 1, timeoutMilliseconds, nullptr);
}

}  // namespace platform
