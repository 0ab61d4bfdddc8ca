#include "settings/INIFile.h"

#include <filesystem>
#include <system_error>

#include "settings/ProfileFunctions.h"

namespace {

// Only where the file system keeps such modes (not on Windows, whose modes show every file as
// readable by all both before and after) can a write narrow them.
bool OthersMayAccess(const std::string& file) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::file_status status = fs::status(file, error);
    return fs::is_regular_file(status) &&
           (status.permissions() & (fs::perms::group_all | fs::perms::others_all)) !=
               fs::perms::none;
}

}  // namespace

std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& file,
                         std::int16_t size) {
    if (size <= 0) {
        return {};
    }
    return platform::GetPrivateProfileString(section, key, defaultValue,
                                             static_cast<std::size_t>(size), file);
}

bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file, bool* modeNarrowed) {
    const bool wasOpen = modeNarrowed != nullptr && OthersMayAccess(file);
    const bool written = platform::WritePrivateProfileString(section, key, value, file);
    if (modeNarrowed != nullptr) {
        *modeNarrowed = written && wasOpen && !OthersMayAccess(file);
    }
    return written;
}
