#include "platform/ProgramInfo.h"

#include <filesystem>
#include <system_error>

#include "platform/Version.h"

namespace platform {

namespace {
std::optional<ProgramLocation>& Override() {
    static std::optional<ProgramLocation> location;
    return location;
}
}  // namespace

std::string ExecutablePath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

ProgramLocation CurrentProgramLocation() {
    if (Override()) {
        return *Override();
    }
    std::filesystem::path executable = ExecutablePath();
    return {executable.parent_path().string(), executable.stem().string()};
}

std::string ProgramDirectory() {
    return CurrentProgramLocation().directory;
}
std::string ProgramName() {
    return CurrentProgramLocation().name;
}

void OverrideProgramLocation(std::optional<ProgramLocation> location) {
    Override() = std::move(location);
}

std::string ProgramVersion() {
    return std::to_string(build::VersionMajor) + "." + std::to_string(build::VersionMinor) + "." +
           std::to_string(build::VersionPatch);
}

}  // namespace platform
