#include "settings/INIFile.h"

#include "settings/ProfileFunctions.h"

std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& file,
                         std::int16_t size) {
    if (size <= 0) {
        return {};
    }
    return settings::GetPrivateProfileString(section, key, defaultValue,
                                             static_cast<std::size_t>(size), file);
}

bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) {
    return settings::WritePrivateProfileString(section, key, value, file);
}

bool WriteIniValues(const std::string& section, const settings::ProfileEntries& entries,
                    const std::string& file) {
    return settings::WritePrivateProfileEntries(section, entries, file);
}
