#pragma once

#include <cstdint>
#include <string>

#include "settings/ProfileFormat.h"

/// Reads one key of the settings file: at most `size` - 1 characters of its value, or
/// `defaultValue` when the file, the section or the key is missing. Never fails.
std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& file,
                         std::int16_t size);

/// Writes one key of the settings file, creating file and section as needed. Returns false when
/// the file could not be written; it is then left as it was. What the write had to mend on the
/// way (a mode that let others read the file) goes to the profile notices.
bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file);

/// Writes several keys of one section as WriteIniValue writes one, in one replacement of the
/// file: all of them, or none when the write fails.
bool WriteIniValues(const std::string& section, const settings::ProfileEntries& entries,
                    const std::string& file);
