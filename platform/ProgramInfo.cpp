#include "platform/ProgramInfo.h"

#include <utility>

#include "platform/Version.h"

namespace platform {

namespace {
std::optional<ProgramLocation>& Override() {
    static std::optional<ProgramLocation> location;
    return location;
}
}  // namespace

ProgramLocation CurrentProgramLocation() {
    return Override() ? *Override() : ExecutableLocation();
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
