#include "platform/ProgramInfo.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace platform {

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

ProgramLocation ExecutableLocation() {
    std::filesystem::path executable = ExecutablePath();
    return {executable.parent_path().string(), executable.stem().string()};
}

std::string SystemName() {
    return "Linux";
}

}  // namespace platform
