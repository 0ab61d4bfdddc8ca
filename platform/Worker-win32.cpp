#include "platform/Worker.h"

#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "platform/EventLoop.h"
#include "platform/RuntimeError.h"

namespace platform {

namespace {
// Held by the thread and by its waiter: whichever lets go last closes it, so that a thread that
// outlives its waiter still has somewhere to say that it is done.
struct Completion {
    explicit Completion(HANDLE handle) : event(handle) {}
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;
    HANDLE event;
    ~Completion() { CloseHandle(event); }
};
}  // namespace

WorkEnd RunBesideTheLoop(std::function<void()> work, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        throw errors::InternalError("CreateEvent: error " + std::to_string(GetLastError()));
    }
    auto done = std::make_shared<Completion>(event);
    std::thread([work = std::move(work), done] {
        try {
            work();
        } catch (...) {
        }
        SetEvent(done->event);
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
        HANDLE handles[] = {done->event,
                            loop ? reinterpret_cast<HANDLE>(loop->WakeHandle()) : nullptr};
        DWORD woken =
            WaitForMultipleObjects(loop ? 2 : 1, handles, FALSE, static_cast<DWORD>(left.count()));
        if (woken == WAIT_FAILED) {
            throw errors::InternalError("WaitForMultipleObjects: error " +
                                        std::to_string(GetLastError()));
        }
        if (woken == WAIT_OBJECT_0) {
            return WorkEnd::Done;
        }
    }
}

}  // namespace platform
