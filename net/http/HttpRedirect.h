#pragma once

#include <string>

namespace net::http {

/// Whether a request's credentials go along on a redirect from `from` to `to`: to the same host
/// with the same scheme and port, or to the same host upgraded from http to https. Never to
/// another host, never from https down to http.
bool RedirectKeepsCredentials(const std::string& from, const std::string& to);

/// Whether a request to `url` sends its credentials without waiting for a challenge: over https,
/// where they cannot be read on the way.
bool CredentialsUpFront(const std::string& url);

/// The method a request takes on after a redirect with `status`, as browsers do: 303 turns
/// everything but HEAD into GET, 301 and 302 turn POST into GET, the others keep the method.
std::string MethodAfterRedirect(const std::string& method, long status);

}  // namespace net::http
