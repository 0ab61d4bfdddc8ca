#pragma once

#include <string>

#include "platform/RuntimeError.h"
#include "settings/modPublic.h"

/// The settings file the dialog edits: "zarvoupdater.ini" beside the dialog's own executable.
std::string DialogIniPath();

/// Fills `record` with the keys the dialog shows and the hidden ones that must still convert.
/// Throws platform::RuntimeError when a stored value does not convert.
void LoadDialogSettings(AppSettingsRecord& record);

/// What the user is told when the settings cannot be loaded: the file, and for a value that
/// does not convert its section, key and stored text, followed by the error text.
std::string LoadFailureText(const platform::RuntimeError& error);
