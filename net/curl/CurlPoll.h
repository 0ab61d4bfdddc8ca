#pragma once

#include <curl/curl.h>

namespace net::curl {

/// Sleeps in curl_multi_poll until the transfers of `multi` can move or `timeoutMilliseconds`
/// pass; with `wakeForRequests` a request for the current event loop ends the sleep as well.
CURLMcode PollTransfers(CURLM* multi, int timeoutMilliseconds, bool wakeForRequests);

/// Runs the transfer of `handle` to its end like curl_easy_perform, but keeps the program's
/// events running while it waits and ends the wait at once for a request of the program: a stop
/// request aborts the transfer (CURLE_ABORTED_BY_CALLBACK) instead of waiting for libcurl's next
/// progress call, which may be a second away.
CURLcode PerformWithEvents(CURL* handle);

}  // namespace net::curl
