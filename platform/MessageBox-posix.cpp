#include "platform/MessageBox.h"

#include <cstdio>

namespace platform {

void ShowMessageBox(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace platform
