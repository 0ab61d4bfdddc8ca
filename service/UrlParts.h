#pragma once

#include <string>

/// The part of a URL before the first "/" at or after position 8 (scheme and host for "http://").
/// Throws error 5 when there is no such "/".
std::string ServerPart(const std::string& url);
/// The rest of the URL from that same "/" on; ServerPart(url) + PathPart(url) == url.
std::string PathPart(const std::string& url);
/// The URL without the user name and password in front of its host, for reports.
std::string WithoutCredentials(const std::string& url);
