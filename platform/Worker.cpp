#include "platform/Worker.h"

#include <memory>
#include <thread>

#include "platform/EventLoop.h"

namespace platform {

WorkEnd RunBesideTheLoop(std::function<void()> work, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    // Held by the thread and by its waiter: whichever lets go last closes it, so that a thread
    // that outlives its waiter still has somewhere to say that it is done.
    auto done = std::make_shared<WorkSignal>();
    // On Linux the thread inherits the event loop's blocked signals, so they stay with the loop.
    std::thread([work = std::move(work), done] {
        try {
            work();
        } catch (...) {
        }
        done->Give();
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
        if (done->Wait(loop, left)) {
            return WorkEnd::Done;
        }
    }
}

}  // namespace platform
