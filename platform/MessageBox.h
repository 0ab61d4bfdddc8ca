#pragma once

#include <string>

namespace platform {

/// A message box for a program without a desktop: one line on standard output.
void ShowMessageBox(const std::string& text);

}  // namespace platform
