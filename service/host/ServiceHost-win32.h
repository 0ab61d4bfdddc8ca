#pragma once

#include <windows.h>

#include <string>

namespace service::host {

/// "<what> failed with error <n>: <the system's text>", for the service host's failure reasons.
std::string Failed(const std::string& what, DWORD error = GetLastError());

}  // namespace service::host
