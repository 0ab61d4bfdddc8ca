#include "service/host/ServiceHost.h"

#include <windows.h>
// windows.h maps StartService to the service manager's StartServiceA; ours is the host's own.
#undef StartService

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/Text.h"
#include "service/host/EventLog.h"
#include "service/host/ServiceHost-win32.h"

namespace service::host {

namespace {

// The service manager's own limit for a start is 30 s; a dispatcher that has not called our
// service main by then never will.
constexpr DWORD RegistrationTimeoutMs = 30'000;

std::atomic<platform::EventLoop*> consoleLoop{nullptr};

// Runs on a thread of its own that Windows starts for the event; the request goes to the
// program's thread like any other.
BOOL WINAPI OnConsoleControl(DWORD event) {
    platform::EventLoop* loop = consoleLoop.load();
    if (loop == nullptr) {
        return FALSE;
    }
    loop->Post(platform::ServiceRequest::Stop);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process as soon as this returns; the program's own end (main
        // returning) ends this thread earlier, and Windows' own limit is 5 s.
        Sleep(5000);
    }
    return TRUE;
}

std::string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return "error " + std::to_string(error) + (text.empty() ? "" : ": " + platform::FromWide(text));
}

}  // namespace

std::string Failed(const std::string& what, DWORD error) {
    return what + " failed with " + SystemMessage(error);
}

namespace {

// What the service manager's threads share with the program's thread. The control handler
// only hands requests on and reports the pending states; the settled states are reported by
// the program's thread once its handlers have run.
struct Connection {
    std::wstring name;
    platform::EventLoop* loop = nullptr;
    HANDLE registered = nullptr;  // set when the service main has run, successfully or not
    HANDLE dispatcher = nullptr;  // the thread inside StartServiceCtrlDispatcherW
    DWORD dispatcherError = ERROR_SUCCESS;
    DWORD registrationError = ERROR_SUCCESS;
    std::mutex mutex;
    SERVICE_STATUS_HANDLE status = nullptr;
    SERVICE_STATUS current{};
};

Connection connection;

void Report(DWORD state, DWORD controls, DWORD waitHintMs = 0) {
    std::lock_guard lock(connection.mutex);
    if (connection.status == nullptr) {
        return;
    }
    static DWORD checkPoint = 0;
    connection.current.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    connection.current.dwCurrentState = state;
    connection.current.dwControlsAccepted = controls;
    connection.current.dwWin32ExitCode = NO_ERROR;
    connection.current.dwWaitHint = waitHintMs;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
                         state == SERVICE_PAUSE_PENDING || state == SERVICE_CONTINUE_PENDING;
    connection.current.dwCheckPoint = pending ? ++checkPoint : 0;
    SetServiceStatus(connection.status, &connection.current);
}

// The pending states keep the controls the settled state accepted.
void ReportPending(DWORD state, DWORD waitHintMs) {
    DWORD controls = 0;
    {
        std::lock_guard lock(connection.mutex);
        controls = connection.current.dwControlsAccepted;
    }
    Report(state, state == SERVICE_STOP_PENDING ? 0 : controls, waitHintMs);
}

DWORD WINAPI OnServiceControl(DWORD control, DWORD, void*, void*) {
    platform::EventLoop* loop = connection.loop;
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            ReportPending(SERVICE_STOP_PENDING, 1000);
            loop->Post(platform::ServiceRequest::Stop);
            return NO_ERROR;
        case SERVICE_CONTROL_PAUSE:
            ReportPending(SERVICE_PAUSE_PENDING, 1000);
            loop->Post(platform::ServiceRequest::Pause);
            return NO_ERROR;
        case SERVICE_CONTROL_CONTINUE:
            ReportPending(SERVICE_CONTINUE_PENDING, 1000);
            loop->Post(platform::ServiceRequest::Continue);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            // The range a service defines for itself: the host's further notification.
            if (control >= 128 && control <= 255) {
                loop->Post(platform::ServiceRequest::Control, static_cast<int>(control));
                return NO_ERROR;
            }
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    SERVICE_STATUS_HANDLE status =
        RegisterServiceCtrlHandlerExW(connection.name.c_str(), OnServiceControl, nullptr);
    if (status == nullptr) {
        connection.registrationError = GetLastError();
    } else {
        {
            std::lock_guard lock(connection.mutex);
            connection.status = status;
        }
        Report(SERVICE_START_PENDING, 0, RegistrationTimeoutMs);
    }
    // Returning leaves the service running: the dispatcher keeps delivering controls until the
    // service reports that it has stopped.
    SetEvent(connection.registered);
}

DWORD WINAPI RunDispatcher(void*) {
    SERVICE_TABLE_ENTRYW table[] = {{connection.name.data(), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        connection.dispatcherError = GetLastError();
    }
    return 0;
}

[[noreturn]] void FailStart(const std::string& reason) {
    std::fprintf(stderr, "%s\n", reason.c_str());
    std::fflush(stderr);
    std::exit(1);
}

// Hands the program to the service manager: the dispatcher gets a thread of its own, since the
// program's thread stays the program's; that thread goes on once the service is registered.
void ConnectToServiceManager(platform::EventLoop& loop, const std::string& serviceName) {
    if (connection.registered != nullptr) {
        return;
    }
    connection.name = platform::ToWide(serviceName);
    connection.loop = &loop;
    connection.registered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (connection.registered == nullptr) {
        FailStart(Failed("CreateEvent"));
    }
    connection.dispatcher = CreateThread(nullptr, 0, RunDispatcher, nullptr, 0, nullptr);
    if (connection.dispatcher == nullptr) {
        FailStart(Failed("CreateThread"));
    }
    HANDLE handles[] = {connection.registered, connection.dispatcher};
    DWORD woken = WaitForMultipleObjects(2, handles, FALSE, RegistrationTimeoutMs);
    if (woken == WAIT_OBJECT_0 + 1) {
        if (connection.dispatcherError == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            FailStart("This program runs as the Windows service " + serviceName +
                      ", started by the service control manager (net start " + serviceName +
                      "), or in a console with -debug; it was started otherwise and ends.");
        }
        FailStart("The service control manager did not take the service: " +
                  Failed("StartServiceCtrlDispatcher", connection.dispatcherError));
    }
    if (woken != WAIT_OBJECT_0) {
        FailStart("The service control manager did not call the service within 30 s.");
    }
    if (connection.status == nullptr) {
        FailStart(Failed("RegisterServiceCtrlHandlerEx", connection.registrationError));
    }
}

}  // namespace

ServiceHost::ServiceHost(platform::EventLoop& loop, std::string serviceName)
    : serviceName_(std::move(serviceName)) {
    loop.OnRequest(platform::ServiceRequest::Stop, [this](int) {
        if (OnStopRequest) {
            OnStopRequest();
        }
    });
    // The service manager learns the settled state once the program has handled the request;
    // a handler that failed leaves the state as it was.
    auto request = [this](std::function<void(bool&)>& handler, DWORD settled, DWORD before) {
        return [this, &handler, settled, before](int) {
            if (!PauseAndContinueAccepted() || !handler) {
                return;
            }
            bool success = false;
            handler(success);
            DWORD controls = 0;
            {
                std::lock_guard lock(connection.mutex);
                controls = connection.current.dwControlsAccepted;
            }
            Report(success ? settled : before, controls);
        };
    };
    loop.OnRequest(platform::ServiceRequest::Pause,
                   request(OnPauseRequest, SERVICE_PAUSED, SERVICE_RUNNING));
    loop.OnRequest(platform::ServiceRequest::Continue,
                   request(OnContinueRequest, SERVICE_RUNNING, SERVICE_PAUSED));
    loop.OnRequest(platform::ServiceRequest::Control, [this](int value) {
        if (OnControl) {
            OnControl(value);
        }
    });
}

// The program ends when the host is destroyed with its form: only now is it stopped.
ServiceHost::~ServiceHost() {
    if (connection.dispatcher == nullptr) {
        return;
    }
    Report(SERVICE_STOPPED, 0);
    // With the last service stopped the dispatcher returns; a process ending under it would cut
    // the service manager's answer short.
    WaitForSingleObject(connection.dispatcher, 1000);
}

bool ServiceHost::PauseAndContinueAccepted() const {
    return (ControlsAccepted & AcceptPauseContinue) != 0;
}

void ServiceHost::StartService() {
    if (Debug) {
        // Ctrl+C, Ctrl+Break and closing the console window are the stop request of the
        // foreground mode.
        consoleLoop = platform::EventLoop::Current();
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    } else {
        ConnectToServiceManager(*platform::EventLoop::Current(), serviceName_);
        const DWORD pauseContinue = PauseAndContinueAccepted() ? SERVICE_ACCEPT_PAUSE_CONTINUE : 0;
        Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | pauseContinue);
    }
    if (OnStart) {
        bool success = false;
        OnStart(success);
    }
}

// The program goes on running after a failed start, so the service manager hears that it runs
// (it would otherwise give up on the start and leave it pending); the event log has the reason.
void ServiceHost::ReportStartFailure(const std::string&) {
    if (Debug) {
        return;
    }
    ConnectToServiceManager(*platform::EventLoop::Current(), serviceName_);
    Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN);
}

// The service manager keeps no status text; the event log says what went wrong.
void ServiceHost::SetStatus(const std::string&) {}

void ServiceHost::LogEvent(std::int16_t type, std::int32_t id, const std::string& text) {
    WriteEventLogEntry(type, id, text, Debug);
}

}  // namespace service::host
