#include "platform/ProfileFunctions.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Text.h"

namespace platform {

namespace {

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A value that a reader would trim or unquote is written inside quotes, so that it reads back as
// written: a password may well end in a blank or be enclosed in quotes itself.
std::string Encoded(const std::string& value) {
    bool changedByReading = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                               Unquote(value).size() != value.size());
    return changedByReading ? "\"" + value + "\"" : value;
}

// Where one line of the file lies, its terminator kept apart, so that a write can splice a change
// in and give back every other byte as it was.
struct Line {
    std::size_t begin;
    std::size_t textEnd;  // start of the "\n" or "\r\n", or the end of an unterminated last line
    std::size_t end;
};

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    // Editors that save UTF-8 with a byte-order mark would otherwise hide the first section.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::size_t begin = content.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (begin < content.size()) {
        std::size_t newline = content.find('\n', begin);
        if (newline == std::string_view::npos) {
            lines.push_back({begin, content.size(), content.size()});
            break;
        }
        std::size_t textEnd =
            (newline > begin && content[newline - 1] == '\r') ? newline - 1 : newline;
        lines.push_back({begin, textEnd, newline + 1});
        begin = newline + 1;
    }
    return lines;
}

std::string_view LineEnding(std::string_view content) {
    std::size_t newline = content.find('\n');
    return (newline != std::string_view::npos && newline > 0 && content[newline - 1] == '\r')
               ? "\r\n"
               : "\n";
}

enum class Kind { Other, Section, Key };

struct Entry {
    Kind kind = Kind::Other;
    std::string_view name;
    std::size_t valueOffset = 0;  // within the line, just after the "="
    std::string_view rawValue;
};

Entry Parse(std::string_view text) {
    // A NUL ends the line's meaning as it ends a C string; names and values never contain one.
    text = text.substr(0, text.find('\0'));
    std::string_view body = TrimBlanks(text);
    if (body.empty()) {
        return {};
    }
    if (body.front() == '[') {
        std::size_t close = body.find(']');
        if (close == std::string_view::npos) {
            return {};
        }
        return {Kind::Section, TrimBlanks(body.substr(1, close - 1)), 0, {}};
    }
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || TrimBlanks(text.substr(0, equals)).empty()) {
        return {};
    }
    return {Kind::Key, TrimBlanks(text.substr(0, equals)), equals + 1, text.substr(equals + 1)};
}

struct Match {
    std::optional<std::size_t> section;  // header line of the first section of that name
    std::optional<std::size_t> key;      // first line of the key within that section
    std::size_t lastOfSection = 0;       // header or last key line: where a new key goes after
    Entry entry;
};

Match Find(std::string_view content, const std::vector<Line>& lines, std::string_view section,
           std::string_view key) {
    Match match;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Entry entry = Parse(content.substr(lines[i].begin, lines[i].textEnd - lines[i].begin));
        if (entry.kind == Kind::Section) {
            if (match.section) {
                break;  // the section ends here; a later one of that name does not count
            }
            if (EqualsIgnoringCase(entry.name, section)) {
                match.section = i;
                match.lastOfSection = i;
            }
        } else if (entry.kind == Kind::Key && match.section) {
            match.lastOfSection = i;
            if (EqualsIgnoringCase(entry.name, key)) {
                match.key = i;
                match.entry = entry;
                break;
            }
        }
    }
    return match;
}

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool StartsSequence(char c) {
    return static_cast<unsigned char>(c) >= 0xC0;
}

std::string Truncated(std::string_view value, std::size_t size) {
    if (size == 0) {
        return {};
    }
    std::size_t limit = size - 1;
    if (value.size() <= limit) {
        return std::string(value);
    }
    // A cut inside a UTF-8 sequence moves back to the sequence's first byte, at most three bytes
    // away; where there is none, the bytes are no UTF-8 and the plain limit applies.
    std::size_t cut = limit;
    while (cut > 0 && limit - cut < 3 && IsContinuation(value[cut])) {
        --cut;
    }
    if (!StartsSequence(value[cut])) {
        cut = limit;
    }
    return std::string(value.substr(0, cut));
}

std::string Updated(std::string_view content, std::string_view section, std::string_view key,
                    const std::string& value) {
    std::vector<Line> lines = SplitLines(content);
    Match match = Find(content, lines, section, key);
    std::string_view eol = LineEnding(content);
    std::string result;
    if (match.key) {
        // The key keeps its spelling and the blanks around "=": only the value changes.
        const Line& line = lines[*match.key];
        std::size_t valueStart = line.begin + match.entry.valueOffset;
        while (valueStart < line.textEnd && IsBlank(content[valueStart])) {
            ++valueStart;
        }
        result.append(content.substr(0, valueStart)).append(Encoded(value));
        result.append(content.substr(line.textEnd));
    } else if (match.section) {
        const Line& after = lines[match.lastOfSection];
        result.append(content.substr(0, after.end));
        if (after.textEnd == after.end) {
            result.append(eol);
        }
        result.append(key).append("=").append(Encoded(value)).append(eol);
        result.append(content.substr(after.end));
    } else {
        result.append(content);
        if (!lines.empty()) {
            const Line& last = lines.back();
            if (last.textEnd == last.end) {
                result.append(eol);
            }
            if (!TrimBlanks(content.substr(last.begin, last.textEnd - last.begin)).empty()) {
                result.append(eol);
            }
        }
        result.append("[").append(section).append("]").append(eol);
        result.append(key).append("=").append(Encoded(value)).append(eol);
    }
    return result;
}

bool FitsOnOneLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Anything else would write lines that read back as something other than the one key.
bool Storable(std::string_view section, std::string_view key, std::string_view value) {
    return !section.empty() && !key.empty() && FitsOnOneLine(section) && FitsOnOneLine(key) &&
           FitsOnOneLine(value) && section.find(']') == std::string_view::npos &&
           key.find('=') == std::string_view::npos && key.front() != '[';
}

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

bool LockExclusive(int fd) {
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// The replacement takes over the original's owner and mode; a new file gets 0600, as it holds
// passwords.
bool TakeOverOwnerAndMode(int fd, const struct stat* original) {
    if (original == nullptr) {
        return fchmod(fd, 0600) == 0;
    }
    if (fchown(fd, original->st_uid, original->st_gid) != 0) {
        // Only root may give a file away; a member of the file's group can at least keep the
        // group, so that the others of that group can still edit the file. Failing that, the
        // file belongs to the writer, as it would after any editor's save.
        static_cast<void>(fchown(fd, static_cast<uid_t>(-1), original->st_gid));
    }
    return fchmod(fd, original->st_mode & 07777) == 0;
}

// Readers see either the old or the new file, never a part of one: the content goes to a
// temporary file beside the original, which then replaces it in one rename.
bool ReplaceFile(const std::string& path, int folder, const std::string& directory,
                 const struct stat* original, std::string_view content) {
    std::string temporary = directory + "/." + path.substr(path.rfind('/') + 1) + ".XXXXXX";
    Descriptor file(mkostemp(temporary.data(), O_CLOEXEC));
    if (file.Get() < 0) {
        return false;
    }
    bool written = WriteAll(file.Get(), content) && TakeOverOwnerAndMode(file.Get(), original) &&
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
    Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::optional<std::string> content;
    if (file.Get() >= 0) {
        content = ReadAll(file.Get());
    }
    if (content) {
        std::vector<Line> lines = SplitLines(*content);
        Match match = Find(*content, lines, TrimBlanks(section), TrimBlanks(key));
        if (match.key) {
            return Truncated(Unquote(TrimBlanks(match.entry.rawValue)), size);
        }
    }
    return Truncated(defaultValue, size);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path) {
    std::string_view sectionName = TrimBlanks(section);
    std::string_view keyName = TrimBlanks(key);
    if (!Storable(sectionName, keyName, value) || path.empty()) {
        return false;
    }
    // A symbolic link stays a link: the file it points to is the one replaced.
    std::string target = path;
    if (char* resolved = realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }

    // Writers lock the directory, not the file: the rename puts a new file in the old one's
    // place, so a writer that waited for a lock on the file would then hold the replaced one and
    // write back content without the other writer's key. The directory stays the same.
    std::string directory = DirectoryOf(target);
    Descriptor folder(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() < 0 || !LockExclusive(folder.Get())) {
        return false;
    }
    // Opened for writing although only read: a file the writer may not change stays unchanged,
    // even though the directory would allow replacing it.
    Descriptor file(open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (file.Get() < 0 && errno != ENOENT) {
        return false;
    }
    struct stat original {};
    std::string content;
    if (file.Get() >= 0) {
        std::optional<std::string> read = ReadAll(file.Get());
        if (!read || fstat(file.Get(), &original) != 0) {
            return false;
        }
        content = std::move(*read);
    }
    return ReplaceFile(target, folder.Get(), directory, file.Get() >= 0 ? &original : nullptr,
                       Updated(content, sectionName, keyName, value));
}

}  // namespace platform
