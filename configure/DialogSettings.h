#pragma once

#include <string>

#include "settings/modPublic.h"

/// The settings file the dialog edits: the service's, beside the dialog's own executable.
/// Throws platform::RuntimeError when the program's own directory is unknown.
std::string DialogIniPath();

/// Fills `record` with the keys the dialog shows and the hidden ones that must still convert.
/// Throws platform::RuntimeError when a stored value does not convert.
void LoadDialogSettings(AppSettingsRecord& record);
