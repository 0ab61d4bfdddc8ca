#include "platform/MessageBox.h"

#include <cstdio>

namespace platform {

// The console program's counterpart of a message box: one line on standard output, as the
// program prints it on Linux, so that scripts see the same answer on both.
void ShowMessageBox(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace platform
