#include "platform/ProgramInfo.h"

#include <filesystem>
#include <string_view>
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
    // Taken once: after an upgrade replaces the running binary, the link reads
    // ".../zarvoupdater (deleted)", and the settings and log must not move with it.
    static const std::string path = [] {
        std::error_code error;
        std::string link = std::filesystem::read_symlink("/proc/self/exe", error).string();
        constexpr std::string_view deleted = " (deleted)";
        if (link.ends_with(deleted)) {
            link.resize(link.size() - deleted.size());
        }
        return error ? std::string() : link;
    }();
    return path;
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
