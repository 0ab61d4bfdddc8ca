#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The file-system calls the log writer stands on. None of them throws: each reports failure
// by its result, so that a caller can skip a failed step and go on with the next one.

/// True when a find-first-file search for `pattern` finds at least one entry: a file, a
/// directory or any other entry. "*" and "?" are wildcards (also for names with a leading
/// dot); every other character, "[" and "\" included, stands for itself.
bool FindFirstFileMatches(const std::string& pattern);

/// True when the attributes of `path` can be read and say it is a directory (symbolic links
/// followed).
bool IsDirectory(const std::string& path);

/// Creates one directory level; false when it cannot be created or exists already.
bool MakeDirectory(const std::string& path);

/// The length in bytes of the regular file at `path`; nothing when there is no such file.
std::optional<std::int64_t> FileSize(const std::string& path);

/// Opens `path` for appending (creating it when missing), writes `record` with one write(2)
/// and closes the file again, so that no handle stays open between records. An empty record
/// only creates the file. A record that does not fit completely (full disk, file size limit)
/// is taken back out, so the file never holds a torn record. False when any step failed.
bool AppendRecord(const std::string& path, std::string_view record);

/// Deletes the file at `path`.
bool RemoveFile(const std::string& path);

/// Renames `from` to `to`, replacing a file `to` when the platform allows it.
bool RenameFile(const std::string& from, const std::string& to);

}  // namespace platform
