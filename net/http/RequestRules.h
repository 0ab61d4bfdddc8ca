#pragma once

#include <string>
#include <string_view>

#include "platform/RuntimeError.h"

namespace net::http {

/// The error of a request object used against its rules (a bad method, header or URL).
platform::RuntimeError HttpUsageError(const std::string& detail);
/// Throws HttpUsageError unless `url` is a complete http or https URL without a zone id; the
/// text leaves the URL out, since it may carry credentials.
void CheckRequestUrl(const std::string& url);
/// A token in the sense of HTTP: the form of methods and header names.
bool IsHttpToken(std::string_view text);
/// The method as it goes out: standard methods in upper case whatever the caller's case;
/// throws for what is no token and for the tunnelling and tracing methods.
std::string WireMethod(const std::string& method);

}  // namespace net::http
