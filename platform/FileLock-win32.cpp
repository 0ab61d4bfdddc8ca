#include "platform/FileLock.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

std::wstring Wide(const std::string& text) {
    int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

}  // namespace

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait)
    : handle_(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)) {
    // An open without sharing is the lock: every other open of the file fails with a sharing
    // violation until this handle is closed. The file inherits the directory's ACL, which under
    // the program directory lets only administrators create or open it for writing.
    const std::wstring name = Wide(path);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<std::intptr_t>(file);
            held_ = true;
            return;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (GetLastError() != ERROR_SHARING_VIOLATION ||
            left <= std::chrono::milliseconds::zero()) {
            return;
        }
        Sleep(static_cast<DWORD>(std::min(pause, left).count()));
        pause = std::min(pause * 2, std::chrono::milliseconds(32));
    }
}

FileLock::~FileLock() {
    if (held_) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

}  // namespace platform
