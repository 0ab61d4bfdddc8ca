#include "net/curl/CurlPoll.h"

#include "platform/EventLoop.h"

namespace net::curl {

// libcurl waits only for sockets on Windows, so the loop's event cannot join its poll; instead the
// thread that hands a request over interrupts the poll with curl_multi_wakeup.
CURLMcode PollTransfers(CURLM* multi, int timeoutMilliseconds, bool wakeForRequests) {
    platform::EventLoop* loop = wakeForRequests ? platform::EventLoop::Current() : nullptr;
    if (loop == nullptr) {
        return curl_multi_poll(multi, nullptr, 0, timeoutMilliseconds, nullptr);
    }
    loop->SetWakeCallback([multi] { curl_multi_wakeup(multi); });
    CURLMcode result = curl_multi_poll(multi, nullptr, 0, timeoutMilliseconds, nullptr);
    loop->SetWakeCallback({});
    return result;
}

}  // namespace net::curl
