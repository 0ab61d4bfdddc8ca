#include "platform/FileSystem.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {

namespace {
// glob(3) knows more magic than a find-first-file search: "[" opens a character class and
// "\" escapes. Quoting both leaves "*" and "?" as the only wildcards, so that a program
// directory such as "/opt/zarvo[2]" still finds its own log file.
std::string QuoteForGlob(const std::string& pattern) {
    std::string quoted;
    quoted.reserve(pattern.size());
    for (char c : pattern) {
        if (c == '[' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted;
}

// A short write leaves part of a record at the end of the file; cutting it off again keeps the
// next record from being glued to a fragment.
void TakeBackPartialRecord(int descriptor, ssize_t written) {
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_size >= written) {
        // Best effort: there is nothing more to do when the cut fails too.
        static_cast<void>(::ftruncate(descriptor, status.st_size - written) == 0);
    }
}

bool WriteWholeRecord(int descriptor, std::string_view record) {
    ssize_t written;
    do {
        written = ::write(descriptor, record.data(), record.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(record.size())) {
        return true;
    }
    if (written > 0) {
        TakeBackPartialRecord(descriptor, written);
    }
    return false;
}
}  // namespace

bool FindFirstFileMatches(const std::string& pattern) {
    if (pattern.empty()) {
        return false;
    }
    glob_t found{};
    // GLOB_PERIOD: a wildcard matches a leading dot too, as in a find-first-file search.
    int result = ::glob(QuoteForGlob(pattern).c_str(), GLOB_NOSORT | GLOB_PERIOD, nullptr, &found);
    bool matched = result == 0 && found.gl_pathc > 0;
    ::globfree(&found);
    return matched;
}

bool IsDirectory(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0;
}

std::optional<std::int64_t> FileSize(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(status.st_size);
}

bool AppendRecord(const std::string& path, std::string_view record) {
    // O_NONBLOCK: a FIFO put in the file's place fails to open instead of blocking the service
    // until some reader appears. Regular files ignore the flag.
    constexpr int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int descriptor;
    do {
        descriptor = ::open(path.c_str(), flags, 0644);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        return false;
    }
    bool written = record.empty() || WriteWholeRecord(descriptor, record);
    // close(2) is not retried: on Linux the descriptor is gone even when it reports EINTR.
    bool closed = ::close(descriptor) == 0;
    return written && closed;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace platform
