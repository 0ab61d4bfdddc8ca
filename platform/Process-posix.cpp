#include "platform/Process.h"

#include <signal.h>

#include <clocale>

namespace platform {

void InitializeProcess() {
    std::setlocale(LC_ALL, "");
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace platform
