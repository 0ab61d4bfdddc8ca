#pragma once

#include "configure/DialogLayout.h"

/// The identifier of a control's window, by which a test driver finds it as the Qt tests find
/// widgets by name. Kept clear of IDOK and IDCANCEL, which Enter and Escape send to the window.
constexpr int ControlId(const DialogControl& control) {
    return 1000 + control.tabIndex;
}

/// The window class of the dialog, by which a test driver finds the window.
inline constexpr wchar_t kFormClass[] = L"frmmain";

/// Loads the settings and runs the window until it is closed; the program's exit status. When
/// the settings cannot be loaded the user is told why, no window opens, and the status is 1.
int RunConfiguration();
