#include "platform/Worker.h"

#include <windows.h>

#include <string>

#include "platform/EventLoop.h"
#include "platform/RuntimeError.h"

namespace platform {

WorkSignal::WorkSignal()
    : handle_(reinterpret_cast<std::intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {
    if (handle_ == 0) {
        throw errors::InternalError("CreateEvent: error " + std::to_string(GetLastError()));
    }
}

WorkSignal::~WorkSignal() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void WorkSignal::Give() {
    SetEvent(reinterpret_cast<HANDLE>(handle_));
}

bool WorkSignal::Wait(const EventLoop* loop, std::chrono::milliseconds timeout) {
    HANDLE handles[] = {reinterpret_cast<HANDLE>(handle_),
                        loop ? reinterpret_cast<HANDLE>(loop->WakeHandle()) : nullptr};
    DWORD woken =
        WaitForMultipleObjects(loop ? 2 : 1, handles, FALSE, static_cast<DWORD>(timeout.count()));
    if (woken == WAIT_FAILED) {
        throw errors::InternalError("WaitForMultipleObjects: error " +
                                    std::to_string(GetLastError()));
    }
    return woken == WAIT_OBJECT_0;
}

}  // namespace platform
