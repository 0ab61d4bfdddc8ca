#pragma once

#include <chrono>
#include <functional>

namespace platform {

/// How the wait for a piece of work on a thread of its own ended.
enum class WorkEnd { Done, Stopped, TimedOut };

/// Runs `work`, which blocks, on a thread of its own that ends with it, and waits for its end
/// while the current event loop's requests are dispatched. The wait sleeps until the work is done,
/// a request comes or `bound` passes; a stop request or the bound ends it at once, and the thread
/// then finishes alone: `work` must own everything it touches, and what it leaves is dropped.
/// An exception of `work` has nobody to go to on that thread and is dropped too.
WorkEnd RunBesideTheLoop(std::function<void()> work, std::chrono::milliseconds bound);

}  // namespace platform
