#include "platform/EventLoop.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/RuntimeError.h"

namespace platform {

namespace {
struct RequestSignal {
    int signal;
    ServiceRequest request;
};
constexpr RequestSignal kRequestSignals[] = {
    {SIGTERM, ServiceRequest::Stop},   {SIGINT, ServiceRequest::Stop},
    {SIGUSR1, ServiceRequest::Pause},  {SIGUSR2, ServiceRequest::Continue},
    {SIGHUP, ServiceRequest::Control},
};

int Descriptor(std::intptr_t handle) {
    return static_cast<int>(handle);
}
}  // namespace

void EventLoop::Open() {
    sigset_t mask;
    sigemptyset(&mask);
    for (const RequestSignal& entry : kRequestSignals) {
        sigaddset(&mask, entry.signal);
    }
    // The program has one thread, so the process mask is the thread mask; threads that libcurl
    // starts later inherit it and never take the signals away from the signalfd.
    if (sigprocmask(SIG_BLOCK, &mask, nullptr) != 0) {
        throw errors::SystemCallError("sigprocmask", errno);
    }
    int descriptor = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (descriptor < 0) {
        throw errors::SystemCallError("signalfd", errno);
    }
    wakeHandle_ = descriptor;
}

void EventLoop::Close() {
    close(Descriptor(wakeHandle_));
}

void EventLoop::Post(ServiceRequest request, int value) {
    for (const RequestSignal& entry : kRequestSignals) {
        if (entry.request == request) {
            sigqueue(getpid(), entry.signal, sigval{value});
            break;
        }
    }
    CallWake();
}

void EventLoop::SetWakeCallback(std::function<void()> wake) {
    std::lock_guard lock(wakeMutex_);
    wake_ = std::move(wake);
}

void EventLoop::ProcessPendingEvents() {
    signalfd_siginfo info{};
    while (read(Descriptor(wakeHandle_), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        for (const RequestSignal& entry : kRequestSignals) {
            if (entry.signal == static_cast<int>(info.ssi_signo)) {
                Dispatch(entry.request, info.ssi_int);
                break;
            }
        }
    }
}

void EventLoop::Run() {
    while (!quit_) {
        std::vector<pollfd> descriptors{{Descriptor(wakeHandle_), POLLIN, 0}};
        for (const auto& entry : watched_) {
            descriptors.push_back({Descriptor(entry.first), POLLIN, 0});
        }
        int ready = poll(descriptors.data(), descriptors.size(), PollTimeoutMilliseconds());
        if (ready < 0 && errno != EINTR) {
            throw errors::SystemCallError("poll", errno);
        }
        if (ready > 0 && descriptors[0].revents != 0) {
            ProcessPendingEvents();
        }
        for (std::size_t i = 1; ready > 0 && i < descriptors.size() && !quit_; ++i) {
            if (descriptors[i].revents != 0) {
                DispatchWatched(descriptors[i].fd);
            }
        }
        if (!quit_) {
            DispatchDueTimers();
        }
    }
}

}  // namespace platform
