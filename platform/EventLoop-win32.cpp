#include "platform/EventLoop.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/RuntimeError.h"

namespace platform {

struct EventLoop::Native {
    HANDLE requestsPending = nullptr;  // manual reset: set while `posted` holds requests
    HANDLE timer = nullptr;
    std::mutex mutex;
    std::vector<std::pair<ServiceRequest, int>> posted;
};

namespace {
HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

RuntimeError LastError(const char* what) {
    return errors::InternalError(std::string(what) + ": error " + std::to_string(GetLastError()));
}
}  // namespace

void EventLoop::Open() {
    auto native = std::make_unique<Native>();
    native->requestsPending = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (native->requestsPending == nullptr) {
        throw LastError("CreateEvent");
    }
    native->timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    if (native->timer == nullptr) {
        CloseHandle(native->requestsPending);
        throw LastError("CreateWaitableTimer");
    }
    wakeHandle_ = reinterpret_cast<std::intptr_t>(native->requestsPending);
    native_ = native.release();
}

void EventLoop::Close() {
    CloseHandle(native_->timer);
    CloseHandle(native_->requestsPending);
    delete native_;
}

void EventLoop::Post(ServiceRequest request, int value) {
    {
        std::lock_guard lock(native_->mutex);
        native_->posted.emplace_back(request, value);
        SetEvent(native_->requestsPending);
    }
    CallWake();
}

void EventLoop::SetWakeCallback(std::function<void()> wake) {
    std::lock_guard lock(wakeMutex_);
    wake_ = std::move(wake);
    // A request posted just before the callback was set has woken nobody yet.
    if (wake_ && WaitForSingleObject(AsHandle(wakeHandle_), 0) == WAIT_OBJECT_0) {
        wake_();
    }
}

void EventLoop::ProcessPendingEvents() {
    for (;;) {
        std::vector<std::pair<ServiceRequest, int>> requests;
        {
            std::lock_guard lock(native_->mutex);
            requests.swap(native_->posted);
            ResetEvent(native_->requestsPending);
        }
        if (requests.empty()) {
            return;
        }
        for (const auto& [request, value] : requests) {
            Dispatch(request, value);
        }
    }
}

void EventLoop::Run() {
    while (!quit_) {
        // The requests first: the wait reports only the first of several signalled handles.
        std::vector<HANDLE> handles{native_->requestsPending};
        for (const auto& entry : watched_) {
            handles.push_back(AsHandle(entry.first));
        }
        if (int timeout = PollTimeoutMilliseconds(); timeout >= 0) {
            LARGE_INTEGER due{};
            due.QuadPart = -10'000LL * timeout;  // relative, in 100 ns steps
            if (!SetWaitableTimer(native_->timer, &due, 0, nullptr, nullptr, FALSE)) {
                throw LastError("SetWaitableTimer");
            }
            handles.push_back(native_->timer);
        }
        DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                             FALSE, INFINITE);
        if (woken == WAIT_FAILED) {
            throw LastError("WaitForMultipleObjects");
        }
        const DWORD index = woken - WAIT_OBJECT_0;
        if (index == 0) {
            ProcessPendingEvents();
        } else if (index <= watched_.size() && !quit_) {
            DispatchWatched(reinterpret_cast<std::intptr_t>(handles[index]));
        }
        if (!quit_) {
            DispatchDueTimers();
        }
    }
}

}  // namespace platform
