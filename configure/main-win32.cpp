#include <windows.h>

#include "configure/frmmain-win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunConfiguration();
}
