#include "platform/Process.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace platform {

void InitializeProcess() {
    // Texts are UTF-8 inside; a console shows them right only in that code page, and the lines on
    // standard output and error end in "\n" as on Linux, without the C library's "\r\n".
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A service has nobody to answer "insert a disk" or crash dialogs.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

}  // namespace platform
