#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/EventLoop.h"

namespace platform {

/// Tells the event loop's thread that a file may have changed, without polling: the loop sleeps
/// as before until the platform reports a change in the file's folder.
class FileWatch {
  public:
    /// Watches the file `path`. `onChange` runs from Run() of `loop` after the file was written,
    /// replaced, created, renamed or deleted; on Windows after any change of a file name or a
    /// write in its folder, which the caller tells apart by looking at the file. Throws
    /// RuntimeError when the platform refuses the watch.
    FileWatch(EventLoop& loop, const std::string& path, std::function<void()> onChange);
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

  private:
    void Ready();

    EventLoop& loop_;
    std::string name_;  // on POSIX, the file's name within the watched folder
    std::function<void()> onChange_;
    std::intptr_t handle_ = -1;
};

}  // namespace platform
