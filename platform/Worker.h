#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace platform {

class EventLoop;

/// How the wait for a piece of work on a thread of its own ended.
enum class WorkEnd { Done, Stopped, TimedOut };

/// Runs `work`, which blocks, on a thread of its own that ends with it, and waits for its end
/// while the current event loop's requests are dispatched. The wait sleeps until the work is done,
/// a request comes or `bound` passes; a stop request or the bound ends it at once, and the thread
/// then finishes alone: `work` must own everything it touches, and what it leaves is dropped.
/// An exception of `work` has nobody to go to on that thread and is dropped too.
WorkEnd RunBesideTheLoop(std::function<void()> work, std::chrono::milliseconds bound);

/// The sign a worker thread gives when its work has ended: an eventfd, or an event object on
/// Windows, which the waiter sleeps on beside its loop's wake handle.
class WorkSignal {
  public:
    WorkSignal();
    ~WorkSignal();
    WorkSignal(const WorkSignal&) = delete;
    WorkSignal& operator=(const WorkSignal&) = delete;

    void Give();
    /// Sleeps until the sign is given, a request comes to `loop` (if any) or `timeout` passes;
    /// whether the sign was given.
    bool Wait(const EventLoop* loop, std::chrono::milliseconds timeout);

  private:
    std::intptr_t handle_;
};

}  // namespace platform
