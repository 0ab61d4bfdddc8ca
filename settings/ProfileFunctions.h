#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "settings/ProfileFormat.h"

namespace settings {

/// Reads one value of an INI file the way the Windows profile reader does: section and key names
/// match without regard to ASCII letter case or surrounding blanks, the value loses its surrounding
/// blanks and one pair of matching quotes, and the first of duplicate sections or keys wins.
/// Gives `defaultValue` when the file, the section or the key is missing, and when the path names
/// something other than a regular file. At most `size` - 1 characters come back, each UTF-8
/// sequence counting as one. On Windows a file in UTF-16 with a byte-order mark reads as its text,
/// and a file that another program keeps open without sharing it throws PathFileAccessError after
/// a bounded wait.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::size_t size,
                                    const std::string& path);

/// Sets one value of an INI file, creating the file, the section and the key as needed; every
/// other line keeps its bytes and the file keeps its line endings, owner and group. On Linux the
/// file leaves every write with mode 0600, as it holds passwords.
/// The file is replaced atomically under a lock, so concurrent writers never lose each other's
/// keys and readers never see half a file; a UTF-16 file stays UTF-16. Returns false, leaving the
/// file as it was, when the write fails, when the lock stays busy for longer than a writer ever
/// holds it, when something other than a regular file is in the file's place, or when a name or
/// the value could not be stored as one line.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path);

/// Sets each of `entries` as WritePrivateProfileString sets one value, in one replacement of the
/// file: all of them, or none when the write fails.
bool WritePrivateProfileEntries(const std::string& section, const ProfileEntries& entries,
                                const std::string& path);

/// Sets who hears what a writer has to say beyond its result, one line at a time (why the lock
/// of the writers was refused, that a file others could read is now private); the service logs
/// it. Nobody hears it by default.
void SetProfileNotices(std::function<void(const std::string&)> receiver);
/// Tells `line` to whoever SetProfileNotices named; for the platforms' writers.
void ProfileNotice(const std::string& line);

}  // namespace settings
