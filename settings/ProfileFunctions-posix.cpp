#include "settings/ProfileFunctions.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/FileLock.h"
#include "settings/ProfileFormat.h"

namespace settings {

namespace {

// Far longer than any writer holds the lock, and short enough that a stop request that comes in
// while the service waits still ends it within a second.
constexpr std::chrono::milliseconds kLockWait{900};

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return fd_; }
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || close(fd) == 0;
    }

  private:
    int fd_;
};

std::optional<std::string> ReadAll(int fd) {
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count == 0) {
            return content;
        }
        if (count < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (count > 0) {
            content.append(buffer, static_cast<std::size_t>(count));
        }
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t count = write(fd, data.data(), data.size());
        if (count < 0 && errno != EINTR) {
            return false;
        }
        if (count > 0) {
            data.remove_prefix(static_cast<std::size_t>(count));
        }
    }
    return true;
}

// The replacement takes over the original's owner and group, but not a mode that lets others
// read the passwords: every write leaves 0600, whatever the writer's umask.
bool PrivateWithOwnerOf(int fd, const struct stat* original) {
    if (original != nullptr && fchown(fd, original->st_uid, original->st_gid) != 0) {
        // Only root may give a file away; a member of the file's group can at least keep the
        // group. Failing that, the file belongs to the writer, as it would after any editor's save.
        static_cast<void>(fchown(fd, static_cast<uid_t>(-1), original->st_gid) == 0);
    }
    return fchmod(fd, 0600) == 0;
}

std::string FileNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The characters with which mkostemp fills in "XXXXXX".
bool IsTemplateCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string TemporaryPrefix(const std::string& path) {
    return "." + FileNameOf(path) + ".";
}

// A writer killed between creating its temporary file and the rename leaves the file behind, a
// full copy of the settings. Under the lock no other writer has one open, so whatever matches the
// temporary names is such a leftover.
void RemoveLeftovers(const std::string& directory, const std::string& path) {
    DIR* folder = opendir(directory.c_str());
    if (folder == nullptr) {
        return;
    }
    const std::string prefix = TemporaryPrefix(path);
    while (const dirent* entry = readdir(folder)) {
        std::string_view name = entry->d_name;
        std::string_view suffix = name.substr(std::min(prefix.size(), name.size()));
        struct stat info {};
        if (name.starts_with(prefix) && suffix.size() == 6 &&
            std::all_of(suffix.begin(), suffix.end(), IsTemplateCharacter) &&
            fstatat(dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode)) {
            unlinkat(dirfd(folder), entry->d_name, 0);
        }
    }
    closedir(folder);
}

// O_NONBLOCK, then a check of the type: a FIFO or a device in the file's place is refused at once
// instead of keeping the reader, or the writer and everyone waiting for its lock, waiting.
int OpenRegular(const std::string& path, int flags) {
    int fd = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// Readers see either the old or the new file, never a part of one: the content goes to a
// temporary file beside the original, which then replaces it in one rename.
bool ReplaceFile(const std::string& path, int folder, const std::string& directory,
                 const struct stat* original, std::string_view content) {
    std::string temporary = directory + "/" + TemporaryPrefix(path) + "XXXXXX";
    // mkostemp creates the file with mode 0600, so that a writer killed before the rename leaves
    // no copy of the passwords that others could read.
    Descriptor file(mkostemp(temporary.data(), O_CLOEXEC));
    if (file.Get() < 0) {
        return false;
    }
    bool written = PrivateWithOwnerOf(file.Get(), original) && WriteAll(file.Get(), content) &&
                   fsync(file.Get()) == 0;
    written = file.Close() && written;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename lasts through a crash only once the directory is on disk. The new content is in
    // place already, so a failure here is no reason to report the write as failed.
    fsync(folder);
    return true;
}

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::size_t size,
                                    const std::string& path) {
    Descriptor file(OpenRegular(path, O_RDONLY));
    std::optional<std::string> content;
    if (file.Get() >= 0) {
        content = ReadAll(file.Get());
    }
    return ProfileValueOrDefault(content, section, key, defaultValue, size);
}

bool WritePrivateProfileEntries(const std::string& section, const ProfileEntries& entries,
                                const std::string& path) {
    if (!ProfileStorable(section, entries) || path.empty()) {
        return false;
    }
    // A symbolic link stays a link: the file it points to is the one replaced.
    std::string target = path;
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }

    // Writers lock a file of their own beside the settings, not the settings file: the rename
    // puts a new file in the old one's place, so a writer that waited for a lock on the file would
    // then hold the replaced one and write back content without the other writer's key. A busy
    // lock fails the write after a while, as a full disk would.
    std::string directory = DirectoryOf(target);
    Descriptor folder(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    platform::FileLock lock(directory + "/." + FileNameOf(target) + ".lock", kLockWait);
    if (folder.Get() < 0 || !lock.Held()) {
        return false;
    }
    // Opened for writing although only read: a file the writer may not change stays unchanged,
    // even though the directory would allow replacing it.
    Descriptor file(OpenRegular(target, O_RDWR));
    if (file.Get() < 0 && errno != ENOENT) {
        return false;
    }
    RemoveLeftovers(directory, target);
    struct stat original {};
    std::string content;
    if (file.Get() >= 0) {
        std::optional<std::string> read = ReadAll(file.Get());
        if (!read || fstat(file.Get(), &original) != 0) {
            return false;
        }
        content = std::move(*read);
    }
    if (!ReplaceFile(target, folder.Get(), directory, file.Get() >= 0 ? &original : nullptr,
                     ProfileUpdated(std::move(content), section, entries))) {
        return false;
    }
    if (file.Get() >= 0 && (original.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ProfileNotice("The settings file was open to other users; its mode is now 0600.");
    }
    return true;
}

}  // namespace settings
