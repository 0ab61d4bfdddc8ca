#include "platform/MessageBox.h"

#include <windows.h>

#include "platform/ProgramInfo.h"
#include "platform/Text.h"

namespace platform {

// The default title of a program's message box is the program's own name.
void ShowMessageBox(const std::string& text) {
    MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(ProgramName()).c_str(),
                MB_OK | MB_SETFOREGROUND);
}

}  // namespace platform
