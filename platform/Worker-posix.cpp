#include "platform/Worker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/EventLoop.h"
#include "platform/RuntimeError.h"

namespace platform {

namespace {
// Held by the thread and by its waiter: whichever lets go last closes it, so that a thread that
// outlives its waiter still has somewhere to say that it is done.
struct Completion {
    explicit Completion(int handle) : descriptor(handle) {}
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;
    int descriptor;
    ~Completion() { close(descriptor); }
};
}  // namespace

WorkEnd RunBesideTheLoop(std::function<void()> work, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int descriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (descriptor < 0) {
        throw errors::SystemCallError("eventfd", errno);
    }
    auto done = std::make_shared<Completion>(descriptor);
    // The thread inherits the event loop's blocked signals, so they stay with the loop.
    std::thread([work = std::move(work), done] {
        try {
            work();
        } catch (...) {
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(done->descriptor, &one, sizeof one);
    }).detach();
    const EventLoop* loop = EventLoop::Current();
    for (;;) {
        DoEvents();
        if (StopPending()) {
            return WorkEnd::Stopped;
        }
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return WorkEnd::TimedOut;
        }
        pollfd descriptors[] = {{done->descriptor, POLLIN, 0},
                                {loop ? static_cast<int>(loop->WakeHandle()) : -1, POLLIN, 0}};
        if (poll(descriptors, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            throw errors::SystemCallError("poll", errno);
        }
        if ((descriptors[0].revents & POLLIN) != 0) {
            return WorkEnd::Done;
        }
    }
}

}  // namespace platform
