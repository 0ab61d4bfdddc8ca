#include "platform/EventLoop.h"

#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {
EventLoop* currentLoop = nullptr;
}

EventLoop::EventLoop() {
    Open();
    previous_ = currentLoop;
    currentLoop = this;
}

EventLoop::~EventLoop() {
    if (currentLoop == this) {
        currentLoop = previous_;
    }
    Close();
}

EventLoop* EventLoop::Current() {
    return currentLoop;
}

void EventLoop::OnRequest(ServiceRequest request, RequestHandler handler) {
    handlers_[request] = std::move(handler);
}

void EventLoop::Dispatch(ServiceRequest request, int value) {
    auto handler = handlers_.find(request);
    if (handler != handlers_.end() && handler->second) {
        handler->second(value);
    }
}

void EventLoop::CallWake() {
    std::lock_guard lock(wakeMutex_);
    if (wake_) {
        wake_();
    }
}

void EventLoop::Watch(std::intptr_t handle, std::function<void()> ready) {
    watched_[handle] = std::move(ready);
}

void EventLoop::Unwatch(std::intptr_t handle) {
    watched_.erase(handle);
}

void EventLoop::DispatchWatched(std::intptr_t handle) {
    // A copy: the handler may unwatch its own handle.
    auto found = watched_.find(handle);
    if (found != watched_.end() && found->second) {
        std::function<void()> ready = found->second;
        ready();
    }
}

int EventLoop::PollTimeoutMilliseconds() const {
    auto now = std::chrono::steady_clock::now();
    int timeout = -1;
    for (const Timer* timer : timers_) {
        if (!timer->enabled_) {
            continue;
        }
        auto left = std::chrono::ceil<std::chrono::milliseconds>(timer->due_ - now).count();
        int milliseconds = static_cast<int>(std::clamp<long long>(left, 0, 24 * 3600 * 1000));
        timeout = timeout < 0 ? milliseconds : std::min(timeout, milliseconds);
    }
    return timeout;
}

void EventLoop::DispatchDueTimers() {
    auto now = std::chrono::steady_clock::now();
    // A tick handler may enable, disable or even destroy timers; work on a snapshot and check
    // each one again before its tick.
    std::vector<Timer*> snapshot = timers_;
    for (Timer* timer : snapshot) {
        if (quit_) {
            return;
        }
        bool stillThere = std::find(timers_.begin(), timers_.end(), timer) != timers_.end();
        if (!stillThere || !timer->enabled_ || timer->due_ > now) {
            continue;
        }
        timer->due_ = now + timer->period_;
        if (timer->onTick_) {
            timer->onTick_();
        }
    }
}

Timer::Timer(EventLoop& loop, std::chrono::milliseconds period, std::function<void()> onTick)
    : loop_(loop), period_(period), onTick_(std::move(onTick)) {
    loop_.timers_.push_back(this);
}

Timer::~Timer() {
    std::erase(loop_.timers_, this);
}

void Timer::SetEnabled(bool enabled) {
    if (enabled && !enabled_) {
        due_ = std::chrono::steady_clock::now() + period_;
    }
    enabled_ = enabled;
}

void DoEvents() {
    if (EventLoop* loop = EventLoop::Current()) {
        loop->ProcessPendingEvents();
    }
}

bool StopPending() {
    const EventLoop* loop = EventLoop::Current();
    return loop != nullptr && loop->QuitRequested();
}

std::chrono::milliseconds TickPeriod() {
    if (const char* text = std::getenv("ZARVO_TICK_MS")) {
        char* end = nullptr;
        long value = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && value > 0 && value <= 3'600'000) {
            return std::chrono::milliseconds(value);
        }
    }
    return std::chrono::milliseconds(1000);
}

}  // namespace platform
