#pragma once

#include <windows.h>

#include <string>

namespace platform {

/// "<what> failed with error <n>: <the system's text>", for the service host's failure reasons.
std::string Failed(const std::string& what, DWORD error = GetLastError());

}  // namespace platform
