#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

/// An exclusive lock shared by the processes that write one file, held for a scope. It lives on a
/// lock file of its own, created with mode 0600 and never removed, so that only the writers can
/// open it: a lock that any local user could take would let that user stop every writer.
class FileLock {
  public:
    /// Tries for at most `wait` to take the lock on `path`, creating the lock file when missing.
    FileLock(const std::string& path, std::chrono::milliseconds wait);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    /// Whether the lock was taken; it is released when the object ends.
    bool Held() const { return held_; }

  private:
    std::intptr_t handle_;
    bool held_ = false;
};

}  // namespace platform
