#pragma once

#include <curl/curl.h>

namespace platform {

/// Sleeps in curl_multi_poll until the transfers of `multi` can move or `timeoutMilliseconds`
/// pass; with `wakeForRequests` a request for the current event loop ends the sleep as well.
CURLMcode PollTransfers(CURLM* multi, int timeoutMilliseconds, bool wakeForRequests);

}  // namespace platform
