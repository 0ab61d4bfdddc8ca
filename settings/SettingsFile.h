#pragma once

#include <string>

#include "platform/ProgramInfo.h"

/// The name the service's program is built with. The settings dialog is a program of another
/// name, and the file it edits is the one of the service installed beside it.
std::string ServiceProgramName();

/// The settings file of the service program at `program`: in its directory, named after it, with
/// ".ini". `separator` joins the two: "/" is what the service has always used, which Windows
/// takes as well; a path shown to the user takes the system's own, as the user knows it.
/// Throws PathFileAccessError when the directory is unknown: the file would be "/.ini" at the root.
std::string SettingsFilePath(const platform::ProgramLocation& program, char separator = '/');

/// The settings file of the running service, at the program's location (which tests override).
std::string SettingsFilePath();
