#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace platform {

namespace {

bool TryLock(int fd) {
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

}  // namespace

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait)
    // O_NOFOLLOW and O_NONBLOCK: neither a link planted in the lock file's place nor a FIFO
    // leads the writer anywhere else or keeps it waiting.
    : handle_(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                   0600)) {
    struct stat info {};
    if (handle_ < 0 || fstat(static_cast<int>(handle_), &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    // flock(2) has no timeout of its own, so the wait retries. A writer that writes again and
    // again frees the lock only for microseconds between two writes; a retry every millisecond
    // still meets such a gap soon, where one that backed off to tens of milliseconds would
    // starve behind it.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    constexpr auto kRetry = std::chrono::milliseconds(1);
    while (!(held_ = TryLock(static_cast<int>(handle_))) && errno == EWOULDBLOCK) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds::zero()) {
            break;
        }
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(kRetry, left));
    }
}

FileLock::~FileLock() {
    // Closing the descriptor releases the lock.
    if (handle_ >= 0) {
        close(static_cast<int>(handle_));
    }
}

}  // namespace platform
