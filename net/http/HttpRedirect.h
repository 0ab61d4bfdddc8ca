#pragma once

#include <string>
#include <string_view>

#include "platform/RuntimeError.h"

namespace platform {

/// The error of a request object used against its rules (a bad method, header or URL).
RuntimeError HttpUsageError(const std::string& detail);
/// Throws HttpUsageError unless `url` is a complete http or https URL without a zone id; the
/// text leaves the URL out, since it may carry credentials.
void CheckRequestUrl(const std::string& url);
/// A token in the sense of HTTP: the form of methods and header names.
bool IsHttpToken(std::string_view text);
/// The method as it goes out: standard methods in upper case whatever the caller's case;
/// throws for what is no token and for the tunnelling and tracing methods.
std::string WireMethod(const std::string& method);

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

}  // namespace platform
