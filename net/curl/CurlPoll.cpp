#include "net/curl/CurlPoll.h"

#include <optional>

#include "net/curl/CurlShared.h"
#include "platform/EventLoop.h"

namespace net::curl {

CURLcode PerformWithEvents(CURL* handle) {
    curl::TransferMulti multi;
    if (multi.get() == nullptr || curl_multi_add_handle(multi.get(), handle) != CURLM_OK) {
        return CURLE_OUT_OF_MEMORY;
    }
    std::optional<CURLcode> result;
    while (!result) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_SEND_ERROR;
            break;
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
            }
        }
        if (result) {
            break;
        }
        platform::DoEvents();
        if (platform::StopPending()) {
            result = CURLE_ABORTED_BY_CALLBACK;
        } else if (PollTransfers(multi.get(), 1000, true) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
        }
    }
    curl_multi_remove_handle(multi.get(), handle);
    return *result;
}

}  // namespace net::curl
