#include "platform/FileSystem.h"

#include <windows.h>

#include <utility>

#include "platform/FileHandle-win32.h"
#include "platform/Text.h"

namespace platform {

bool FindFirstFileMatches(const std::string& pattern) {
    if (pattern.empty()) {
        return false;
    }
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileExW(ToWide(pattern).c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return true;
}

bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::string& path) {
    return CreateDirectoryW(ToWide(path).c_str(), nullptr) != 0;
}

std::optional<std::int64_t> FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(ToWide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) |
                                     data.nFileSizeLow);
}

bool AppendRecord(const std::string& path, std::string_view record) {
    // Shared for reading and deleting, so that a reader or the rotation of the log is never
    // refused while a record goes in.
    FileHandle file(CreateFileW(ToWide(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return false;
    }
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file.Get(), LARGE_INTEGER{}, &end, FILE_END)) {
        return false;
    }
    bool written = true;
    if (!record.empty()) {
        DWORD count = 0;
        written = record.size() <= MAXDWORD &&
                  WriteFile(file.Get(), record.data(), static_cast<DWORD>(record.size()), &count,
                            nullptr) &&
                  count == record.size();
        // A full disk can leave part of the record behind; cut it off again so that the next
        // record is not glued to a fragment.
        if (!written && count > 0 && SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN)) {
            SetEndOfFile(file.Get());
        }
    }
    return file.Close() && written;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileW(ToWide(path).c_str()) != 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return MoveFileExW(ToWide(from).c_str(), ToWide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace platform
