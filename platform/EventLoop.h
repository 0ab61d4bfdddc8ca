#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace platform {

class Timer;

/// What the service's host asks of the program: stop, pause, continue, or a user control with
/// its value.
enum class ServiceRequest { Stop, Pause, Continue, Control };

/// The program's one thread of control, standing in for a window's message loop: it sleeps until
/// a service request arrives or a timer is due, and dispatches both as events on this thread.
/// On POSIX the requests come as signals (SIGTERM and SIGINT stop, SIGUSR1 pauses, SIGUSR2
/// continues, SIGHUP is a control with the signal's value); on Windows the host's threads hand
/// them over with Post().
class EventLoop {
  public:
    /// Request handlers get the value sent with the request, 0 when there is none.
    using RequestHandler = std::function<void(int value)>;

    /// The newest loop is the current one until it is destroyed.
    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void OnRequest(ServiceRequest request, RequestHandler handler);

    /// Hands `request` to the loop's thread; safe from any thread.
    void Post(ServiceRequest request, int value = 0);

    /// A handle that is signalled while requests are pending: a readable descriptor on POSIX, an
    /// event handle on Windows. A caller that waits on something else adds it to its own wait.
    std::intptr_t WakeHandle() const { return wakeHandle_; }

    /// For a wait that cannot watch the wake handle (libcurl polls only sockets on Windows):
    /// `wake` is called from the thread that hands a request over through Post() (on Windows
    /// also at once when a request is pending already); an empty function ends this.
    void SetWakeCallback(std::function<void()> wake);

    /// Adds `handle` (a descriptor on POSIX, a waitable handle on Windows) to what Run() waits
    /// on; `ready` is called on this thread whenever it is readable or signalled.
    void Watch(std::intptr_t handle, std::function<void()> ready);
    void Unwatch(std::intptr_t handle);

    /// Dispatches the requests that are pending now and returns without blocking. Timer ticks
    /// and watched handles are left to Run(), so a handler that waits here is never entered a
    /// second time.
    void ProcessPendingEvents();

    /// Dispatches requests and timer ticks until Quit() is called.
    void Run();
    void Quit() { quit_ = true; }
    bool QuitRequested() const { return quit_; }

    /// The loop created last and still alive, or nullptr.
    static EventLoop* Current();

  private:
    friend class Timer;
    void DispatchDueTimers();
    void DispatchWatched(std::intptr_t handle);
    int PollTimeoutMilliseconds() const;
    void Dispatch(ServiceRequest request, int value);
    void CallWake();
    // The platform's half of construction and destruction.
    void Open();
    void Close();

    struct Native;
    Native* native_ = nullptr;  // platform state beyond the wake handle, where there is some
    std::intptr_t wakeHandle_ = -1;
    bool quit_ = false;
    std::map<ServiceRequest, RequestHandler> handlers_;
    std::vector<Timer*> timers_;
    std::map<std::intptr_t, std::function<void()>> watched_;
    EventLoop* previous_ = nullptr;
    std::mutex wakeMutex_;
    std::function<void()> wake_;
};

/// A periodic timer of an event loop; while disabled it delivers no ticks. Enabling it starts a
/// full period afresh.
class Timer {
  public:
    Timer(EventLoop& loop, std::chrono::milliseconds period, std::function<void()> onTick);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    std::chrono::milliseconds Period() const { return period_; }
    /// The length of the periods that start from now on (at the next tick or enabling); a
    /// period under way keeps its end.
    void SetPeriod(std::chrono::milliseconds period) { period_ = period; }

  private:
    friend class EventLoop;
    EventLoop& loop_;
    std::chrono::milliseconds period_;
    std::function<void()> onTick_;
    bool enabled_ = false;
    std::chrono::steady_clock::time_point due_{};
};

/// Processes the pending events of the current event loop, if there is one.
void DoEvents();

/// Whether the current event loop, if there is one, was told to quit: the program is on its way
/// out, and a wait or a transfer still under way ends early.
bool StopPending();

/// The tick period of the service's timer: 1000 ms, or ZARVO_TICK_MS for tests.
std::chrono::milliseconds TickPeriod();

}  // namespace platform
