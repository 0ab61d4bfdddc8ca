#include "platform/FileWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>

#include "platform/RuntimeError.h"

namespace platform {

namespace {
// A write in place ends with the close; the settings writers replace the file by a rename.
constexpr std::uint32_t kChanges =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;
}  // namespace

FileWatch::FileWatch(EventLoop& loop, const std::string& path, std::function<void()> onChange)
    : loop_(loop), onChange_(std::move(onChange)) {
    const std::filesystem::path file(path);
    name_ = file.filename().string();
    const int descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor < 0) {
        throw errors::SystemCallError("inotify_init1", errno);
    }
    // The folder rather than the file: a watch on the file would end with its first
    // replacement.
    const std::string folder = file.has_parent_path() ? file.parent_path().string() : ".";
    if (inotify_add_watch(descriptor, folder.c_str(), kChanges | IN_ONLYDIR) < 0) {
        const int error = errno;
        close(descriptor);
        throw errors::SystemCallError("inotify_add_watch", error);
    }
    handle_ = descriptor;
    loop_.Watch(handle_, [this] { Ready(); });
}

FileWatch::~FileWatch() {
    loop_.Unwatch(handle_);
    close(static_cast<int>(handle_));
}

void FileWatch::Ready() {
    // One call for all the events read at once: a burst of writes is one change.
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = read(static_cast<int>(handle_), buffer, sizeof buffer);
        if (length <= 0) {
            break;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            changed = changed || (event->len > 0 && name_ == event->name) ||
                      (event->mask & IN_Q_OVERFLOW) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (changed && onChange_) {
        onChange_();
    }
}

}  // namespace platform
