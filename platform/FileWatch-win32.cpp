#include "platform/FileWatch.h"

#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace platform {

namespace {
HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}
}  // namespace

FileWatch::FileWatch(EventLoop& loop, const std::string& path, std::function<void()> onChange)
    : loop_(loop), onChange_(std::move(onChange)) {
    const std::filesystem::path file(ToWide(path));
    // A change notification names no file; the folder's own, not its subfolders' (the log).
    const HANDLE handle = FindFirstChangeNotificationW(
        file.parent_path().wstring().c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
    if (handle == INVALID_HANDLE_VALUE) {
        throw errors::InternalError("FindFirstChangeNotification: error " +
                                    std::to_string(GetLastError()));
    }
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    loop_.Watch(handle_, [this] { Ready(); });
}

FileWatch::~FileWatch() {
    loop_.Unwatch(handle_);
    FindCloseChangeNotification(AsHandle(handle_));
}

void FileWatch::Ready() {
    // Armed again before the look at the file, so that a change during the look is not lost.
    FindNextChangeNotification(AsHandle(handle_));
    if (onChange_) {
        onChange_();
    }
}

}  // namespace platform
