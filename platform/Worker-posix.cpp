#include "platform/Worker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/EventLoop.h"
#include "platform/RuntimeError.h"

namespace platform {

WorkSignal::WorkSignal() : handle_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (handle_ < 0) {
        throw errors::SystemCallError("eventfd", errno);
    }
}

WorkSignal::~WorkSignal() {
    close(static_cast<int>(handle_));
}

void WorkSignal::Give() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(static_cast<int>(handle_), &one, sizeof one);
}

bool WorkSignal::Wait(const EventLoop* loop, std::chrono::milliseconds timeout) {
    pollfd descriptors[] = {{static_cast<int>(handle_), POLLIN, 0},
                            {loop ? static_cast<int>(loop->WakeHandle()) : -1, POLLIN, 0}};
    if (poll(descriptors, 2, static_cast<int>(timeout.count())) < 0 && errno != EINTR) {
        throw errors::SystemCallError("poll", errno);
    }
    return (descriptors[0].revents & POLLIN) != 0;
}

}  // namespace platform
