#pragma once

#include <string>

namespace settings {

/// The name of the mutex that the writers of the settings file `path` share, the same for every
/// spelling of the path.
std::wstring WritersLockName(const std::wstring& path);

}  // namespace settings
