#pragma once

#include <string>

namespace platform {

/// A message box with an OK button, waiting for it; on Linux, a program without a desktop, one
/// line on standard output.
void ShowMessageBox(const std::string& text);

}  // namespace platform
