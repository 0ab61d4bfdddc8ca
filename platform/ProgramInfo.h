#pragma once

#include <optional>
#include <string>

namespace platform {

/// Where the running program lives: the directory of its executable and its name.
struct ProgramLocation {
    std::string directory;  // without a trailing "/"
    std::string name;       // file name of the executable without extension
};

/// The location of the running executable, or the override.
ProgramLocation CurrentProgramLocation();
/// The location of the running executable itself (/proc/self/exe, GetModuleFileNameW), never the
/// override; empty when the system does not tell.
ProgramLocation ExecutableLocation();
std::string ProgramDirectory();
std::string ProgramName();

/// Makes every caller see `location` instead of the real executable; std::nullopt undoes it.
/// For tests, which run from a build tree but must read and write a temporary program directory.
void OverrideProgramLocation(std::optional<ProgramLocation> location);

/// The program's version as major.minor.patch, always three numbers.
std::string ProgramVersion();

/// The system the program was built for, as the user agent names it: "Linux" or "Windows".
std::string SystemName();

/// Path of the running executable itself, as systemd's ExecStart needs it.
std::string ExecutablePath();

}  // namespace platform
