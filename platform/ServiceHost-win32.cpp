#include "platform/ServiceHost.h"

#include <windows.h>
// windows.h maps StartService to the service manager's StartServiceA; ours is the host's own.
#undef StartService

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/EventLog.h"

namespace platform {

namespace {
std::atomic<EventLoop*> consoleLoop{nullptr};

// Runs on a thread of its own that Windows starts for the event; the request goes to the
// program's thread like any other.
BOOL WINAPI OnConsoleControl(DWORD event) {
    EventLoop* loop = consoleLoop.load();
    if (loop == nullptr) {
        return FALSE;
    }
    loop->Post(ServiceRequest::Stop);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process as soon as this returns; the program's own end (main
        // returning) ends this thread earlier, and Windows' own limit is 5 s.
        Sleep(5000);
    }
    return TRUE;
}

std::string NotSupported(const std::string& what) {
    return what +
           " is not available in this build on Windows: it runs only in the foreground "
           "with -debug.";
}
}  // namespace

ServiceHost::ServiceHost(EventLoop& loop, std::string serviceName)
    : serviceName_(std::move(serviceName)) {
    loop.OnRequest(ServiceRequest::Stop, [this](int) {
        if (OnStopRequest) {
            OnStopRequest();
        }
    });
    auto request = [this](std::function<void(bool&)>& handler) {
        return [this, &handler](int) {
            if (PauseAndContinueAccepted() && handler) {
                bool success = false;
                handler(success);
            }
        };
    };
    loop.OnRequest(ServiceRequest::Pause, request(OnPauseRequest));
    loop.OnRequest(ServiceRequest::Continue, request(OnContinueRequest));
    loop.OnRequest(ServiceRequest::Control, [this](int value) {
        if (OnControl) {
            OnControl(value);
        }
    });
}

bool ServiceHost::PauseAndContinueAccepted() const {
    return (ControlsAccepted & AcceptPauseContinue) != 0;
}

bool ServiceHost::Install() {
    failureReason_ = NotSupported("Installing the service");
    return false;
}

bool ServiceHost::Uninstall() {
    failureReason_ = NotSupported("Removing the service");
    std::fprintf(stderr, "%s\n", failureReason_.c_str());
    std::fflush(stderr);
    return false;
}

void ServiceHost::StartService() {
    if (!Debug) {
        std::fprintf(stderr, "%s\n",
                     NotSupported("Running under the service control manager").c_str());
        std::fflush(stderr);
        std::exit(1);
    }
    // Ctrl+C, Ctrl+Break and closing the console window are the stop request of the foreground
    // mode.
    consoleLoop = EventLoop::Current();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    if (OnStart) {
        bool success = false;
        OnStart(success);
    }
}

// Only the service control manager keeps a status line; in the foreground the event log entry
// and its line on standard error say it all.
void ServiceHost::ReportStartFailure(const std::string&) {}

void ServiceHost::SetStatus(const std::string&) {}

void ServiceHost::LogEvent(std::int16_t type, std::int32_t id, const std::string& text) {
    WriteEventLogEntry(type, id, text, Debug);
}

}  // namespace platform
