#include "platform/EventLoop.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

namespace platform {

namespace {
EventLoop* currentLoop = nullptr;
}

EventLoop::EventLoop(const std::vector<int>& signals) {
    sigset_t mask;
    sigemptyset(&mask);
    for (int signal : signals) {
        sigaddset(&mask, signal);
    }
    // The program has one thread, so the process mask is the thread mask; threads that libcurl
    // starts later inherit it and never take the signals away from the signalfd.
    if (sigprocmask(SIG_BLOCK, &mask, nullptr) != 0) {
        throw std::system_error(errno, std::generic_category(), "sigprocmask");
    }
    signalDescriptor_ = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalDescriptor_ < 0) {
        throw std::system_error(errno, std::generic_category(), "signalfd");
    }
    previous_ = currentLoop;
    currentLoop = this;
}

EventLoop::~EventLoop() {
    if (currentLoop == this) {
        currentLoop = previous_;
    }
    close(signalDescriptor_);
}

EventLoop* EventLoop::Current() {
    return currentLoop;
}

void EventLoop::OnSignal(int signal, SignalHandler handler) {
    handlers_[signal] = std::move(handler);
}

void EventLoop::ProcessPendingEvents() {
    signalfd_siginfo info{};
    while (read(signalDescriptor_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        auto handler = handlers_.find(static_cast<int>(info.ssi_signo));
        if (handler != handlers_.end() && handler->second) {
            handler->second(info.ssi_int);
        }
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

void EventLoop::Run() {
    while (!quit_) {
        pollfd descriptor{signalDescriptor_, POLLIN, 0};
        int ready = poll(&descriptor, 1, PollTimeoutMilliseconds());
        if (ready < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (ready > 0) {
            ProcessPendingEvents();
        }
        if (!quit_) {
            DispatchDueTimers();
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
