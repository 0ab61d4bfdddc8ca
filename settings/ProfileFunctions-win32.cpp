#include "settings/ProfileFunctions.h"

#include <windows.h>
// windows.h maps these names to its own ANSI functions; ours are the UTF-8 ones.
#undef GetPrivateProfileString
#undef WritePrivateProfileString

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/AccessControl-win32.h"
#include "platform/FileHandle-win32.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"
#include "settings/ProfileFormat.h"
#include "settings/ProfileFunctions-win32.h"

namespace settings {

std::wstring WritersLockName(const std::wstring& path) {
    wchar_t full[32768];
    DWORD length = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
    std::wstring name(full, length > 0 && length < 32768 ? length : 0);
    if (name.empty()) {
        name = path;
    }
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (wchar_t c : name) {
        hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ULL;
    }
    wchar_t lockName[64];
    swprintf(lockName, 64, L"Global\\ZARVOUpdater.profile.%016llx",
             static_cast<unsigned long long>(hash));
    return lockName;
}

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for any writer of ours (a few kilobytes), short enough that a file held by a
// stuck program ends in a failure rather than a service that hangs, and that a stop request
// that comes in meanwhile still ends the service within a second.
constexpr std::chrono::milliseconds kLockWait{900};
constexpr DWORD kRetryMilliseconds = 20;

bool Busy(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Another program may hold the file open without sharing it (an editor saving it, a virus
// scanner); that passes, so the open is retried for a bounded time.
platform::FileHandle Open(const std::wstring& path, DWORD access, DWORD disposition,
                          SECURITY_ATTRIBUTES* created = nullptr) {
    const auto deadline = Clock::now() + kLockWait;
    for (;;) {
        platform::FileHandle file(CreateFileW(
            path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, created,
            disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Valid() || !Busy(GetLastError()) || Clock::now() >= deadline) {
            return file;
        }
        Sleep(kRetryMilliseconds);
    }
}

std::optional<std::string> ReadAll(HANDLE file) {
    std::string content;
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &count, nullptr)) {
            return std::nullopt;
        }
        if (count == 0) {
            return content;
        }
        content.append(buffer, count);
    }
}

bool WriteAll(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        DWORD count = 0;
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1 << 20));
        if (!WriteFile(file, data.data(), chunk, &count, nullptr) || count == 0) {
            return false;
        }
        data.remove_prefix(count);
    }
    return true;
}

// Writers take a mutex named after the file, not a lock on the file itself: Windows refuses to
// rename over a file that is open, and a lock must outlive the rename that replaces the file.
// "Global" lets the service and the dialog (in another session) see the same mutex. Its name is
// easy to guess, so only SYSTEM and the Administrators may open it; one that somebody else made
// first is refused rather than shared, and a writer that may not use the global one fails
// instead of taking a lock of its session that the others would not see.
class WriterMutex {
  public:
    explicit WriterMutex(const std::wstring& path) {
        const std::wstring name = WritersLockName(path);
        platform::SecurityAttributes access(platform::kWritersLockAccess);
        handle_ = CreateMutexW(access.Get(), FALSE, name.c_str());
        if (handle_ == nullptr) {
            failure_ = "The settings writers' lock " + platform::FromWide(name) +
                       " cannot be opened (error " + std::to_string(GetLastError()) + ")";
        } else if (GetLastError() == ERROR_ALREADY_EXISTS &&
                   !platform::OwnedByAdministrators(handle_)) {
            failure_ = "The settings writers' lock " + platform::FromWide(name) +
                       " belongs to another user";
            CloseHandle(std::exchange(handle_, nullptr));
        }
    }
    ~WriterMutex() {
        if (owned_) {
            ReleaseMutex(handle_);
        }
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }
    WriterMutex(const WriterMutex&) = delete;
    WriterMutex& operator=(const WriterMutex&) = delete;

    /// Why the lock is not to be had, or "" when it may be waited for.
    const std::string& Failure() const { return failure_; }

    bool LockWithin(std::chrono::milliseconds wait) {
        if (handle_ == nullptr) {
            return false;
        }
        // An abandoned mutex belonged to a writer that died; the file is whole all the same,
        // as every write is one rename.
        DWORD result = WaitForSingleObject(handle_, static_cast<DWORD>(wait.count()));
        owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        return owned_;
    }

  private:
    HANDLE handle_ = nullptr;
    bool owned_ = false;
    std::string failure_;
};

enum class Encoding { Utf8, Utf16LittleEndian, Utf16BigEndian };

// Notepad saves "Unicode" files as UTF-16 with a byte-order mark, and Windows' own profile
// functions read and write them so; the text format itself works on UTF-8.
Encoding EncodingOf(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE")) {
        return Encoding::Utf16LittleEndian;
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return Encoding::Utf16BigEndian;
    }
    return Encoding::Utf8;
}

std::string ToUtf8(std::string_view bytes, Encoding encoding) {
    if (encoding == Encoding::Utf8) {
        return std::string(bytes);
    }
    std::wstring wide;
    const int high = encoding == Encoding::Utf16BigEndian ? 0 : 1;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        wide += static_cast<wchar_t>((static_cast<unsigned char>(bytes[i + high]) << 8) |
                                     static_cast<unsigned char>(bytes[i + 1 - high]));
    }
    return platform::FromWide(wide);
}

std::string FromUtf8(std::string_view text, Encoding encoding) {
    if (encoding == Encoding::Utf8) {
        return std::string(text);
    }
    const bool big = encoding == Encoding::Utf16BigEndian;
    std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t unit : platform::ToWide(text)) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += big ? high : low;
        bytes += big ? low : high;
    }
    return bytes;
}

std::wstring DirectoryOf(const std::wstring& path) {
    std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? L"." : path.substr(0, separator + 1);
}

// Temporary copies are "<file name>.<16 hex digits>.tmp" beside the file.
std::wstring TemporaryPrefix(const std::wstring& path) {
    std::size_t separator = path.find_last_of(L"\\/");
    return DirectoryOf(path) +
           (separator == std::wstring::npos ? path : path.substr(separator + 1)) + L".";
}

bool IsHex(std::wstring_view digits) {
    for (wchar_t c : digits) {
        if (!iswxdigit(c)) {
            return false;
        }
    }
    return true;
}

// Besides its own copies, this takes the ones earlier versions made with GetTempFileName:
// "ini<1 to 4 hex digits>.tmp" in any case.
bool IsTemporaryName(std::wstring_view name, std::wstring_view prefix) {
    constexpr std::wstring_view kSuffix = L".tmp";
    if (name.size() >= 8 && name.size() <= 11 && _wcsnicmp(name.data(), L"ini", 3) == 0 &&
        _wcsnicmp(name.data() + name.size() - 4, kSuffix.data(), 4) == 0) {
        return IsHex(name.substr(3, name.size() - 7));
    }
    return name.starts_with(prefix) && name.ends_with(kSuffix) &&
           name.size() == prefix.size() + 16 + kSuffix.size() &&
           IsHex(name.substr(prefix.size(), 16));
}

// A writer killed between creating its temporary copy and the rename leaves a full copy of the
// settings behind. Under the lock no other writer has one open, so whatever has the name of a
// temporary copy is such a leftover.
void RemoveLeftovers(const std::wstring& path) {
    const std::wstring prefix = TemporaryPrefix(path);
    const std::wstring directory = DirectoryOf(path);
    const std::wstring namePrefix = prefix.substr(directory.size());
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((directory + L"*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // The pattern also matches short 8.3 names; only the real name counts.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            IsTemporaryName(found.cFileName, namePrefix)) {
            DeleteFileW((directory + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// The copy carries the settings file's access rules from its creation on, so no byte of it is
// ever readable by others, and the rename hands them on to the settings file.
platform::FileHandle CreateTemporary(const std::wstring& path, std::wstring& temporary) {
    static std::atomic<std::uint32_t> counter{0};
    platform::SecurityAttributes access(platform::kSettingsFileAccess);
    const std::wstring prefix = TemporaryPrefix(path);
    for (int attempt = 0; attempt < 16; ++attempt) {
        wchar_t unique[17];
        swprintf(unique, 17, L"%08lx%08lx", GetCurrentProcessId(),
                 static_cast<unsigned long>(counter++));
        temporary = prefix + unique + L".tmp";
        platform::FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, access.Get(),
                                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Valid() || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return platform::FileHandle();
}

// Readers see either the old or the new file, never a part of one: the content goes to a
// temporary file beside the original, which then takes its place in one rename. (ReplaceFileW
// would keep more of the original's metadata, but under Wine it leaves a moment without any file
// in the path, in which another writer would start afresh.)
bool ReplaceContent(const std::wstring& path, std::string_view content,
                    Clock::time_point deadline) {
    std::wstring temporary;
    platform::FileHandle file = CreateTemporary(path, temporary);
    if (!file.Valid()) {
        return false;
    }
    bool written = WriteAll(file.Get(), content) && FlushFileBuffers(file.Get());
    written = file.Close() && written;
    bool replaced = false;
    while (written && !replaced) {
        replaced = MoveFileExW(temporary.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        // A reader that opened the file without sharing its deletion holds the rename up.
        const DWORD error = GetLastError();
        if (!replaced &&
            ((!Busy(error) && error != ERROR_ACCESS_DENIED) || Clock::now() >= deadline)) {
            break;
        }
        if (!replaced) {
            Sleep(kRetryMilliseconds);
        }
    }
    if (!replaced) {
        DeleteFileW(temporary.c_str());
    }
    return replaced;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::size_t size,
                                    const std::string& path) {
    platform::FileHandle file = Open(platform::ToWide(path), GENERIC_READ, OPEN_EXISTING);
    if (!file.Valid() && Busy(GetLastError())) {
        throw platform::errors::PathFileAccessError();
    }
    std::optional<std::string> content;
    if (file.Valid()) {
        content = ReadAll(file.Get());
    }
    if (content) {
        content = ToUtf8(*content, EncodingOf(*content));
    }
    return ProfileValueOrDefault(content, section, key, defaultValue, size);
}

bool WritePrivateProfileEntries(const std::string& section, const ProfileEntries& entries,
                                const std::string& path) {
    if (!ProfileStorable(section, entries) || path.empty()) {
        return false;
    }
    const std::wstring widePath = platform::ToWide(path);
    const auto deadline = Clock::now() + kLockWait;
    WriterMutex writers(widePath);
    if (!writers.Failure().empty()) {
        ProfileNotice(writers.Failure() + ": " + path + " was not written.");
    }
    if (!writers.LockWithin(kLockWait)) {
        return false;
    }
    // Opened for writing although only read: a file the writer may not change stays unchanged.
    platform::SecurityAttributes access(platform::kSettingsFileAccess);
    platform::FileHandle file =
        Open(widePath, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, access.Get());
    if (!file.Valid()) {
        return false;
    }
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    RemoveLeftovers(widePath);
    std::optional<std::string> content = ReadAll(file.Get());
    file.Close();
    if (!content) {
        return false;
    }
    const Encoding encoding = EncodingOf(*content);
    const std::string updated = ProfileUpdated(ToUtf8(*content, encoding), section, entries);
    const bool replaced = ReplaceContent(widePath, FromUtf8(updated, encoding), deadline);
    if (!replaced && created) {
        // Nothing of ours may stay behind when the very first write fails.
        DeleteFileW(widePath.c_str());
    }
    return replaced;
}

}  // namespace settings
