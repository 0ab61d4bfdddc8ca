#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <vector>

namespace platform {

class Timer;

/// The program's one thread of control, standing in for a window's message loop: it sleeps in
/// poll(2) until a signal arrives or a timer is due, and dispatches both as events.
class EventLoop {
  public:
    /// Signal handlers get the integer value sent with the signal (sigqueue), 0 for kill(2).
    using SignalHandler = std::function<void(int value)>;

    /// Blocks `signals` and receives them through a signalfd from now on. The newest loop is
    /// the current one until it is destroyed.
    explicit EventLoop(const std::vector<int>& signals);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void OnSignal(int signal, SignalHandler handler);

    /// The descriptor that becomes readable when a signal is pending; a caller that waits
    /// on something else (an HTTP transfer) adds it to its own poll set.
    int SignalDescriptor() const { return signalDescriptor_; }

    /// Dispatches the signals that are pending now and returns without blocking. Timer ticks
    /// are left to Run(), so a tick handler that waits here is never entered a second time.
    void ProcessPendingEvents();

    /// Dispatches signals and timer ticks until Quit() is called.
    void Run();
    void Quit() { quit_ = true; }
    bool QuitRequested() const { return quit_; }

    /// The loop created last and still alive, or nullptr.
    static EventLoop* Current();

  private:
    friend class Timer;
    void DispatchDueTimers();
    int PollTimeoutMilliseconds() const;

    int signalDescriptor_ = -1;
    bool quit_ = false;
    std::map<int, SignalHandler> handlers_;
    std::vector<Timer*> timers_;
    EventLoop* previous_ = nullptr;
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

/// The tick period of the service's timer: 1000 ms, or ZARVO_TICK_MS for tests.
std::chrono::milliseconds TickPeriod();

}  // namespace platform
