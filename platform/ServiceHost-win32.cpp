#include "platform/ServiceHost.h"

#include <windows.h>
// windows.h maps StartService to the service manager's StartServiceA; ours is the host's own.
#undef StartService

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/EventLog.h"
#include "platform/ProgramInfo.h"
#include "platform/Text.h"

namespace platform {

namespace {

constexpr const wchar_t* EventSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// The service manager's own limit for a start is 30 s; a dispatcher that has not called our
// service main by then never will.
constexpr DWORD RegistrationTimeoutMs = 30'000;
constexpr DWORD UninstallStopTimeoutMs = 10'000;

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
    return "error " + std::to_string(error) + (text.empty() ? "" : ": " + FromWide(text));
}

std::string Failed(const std::string& what, DWORD error = GetLastError()) {
    return what + " failed with " + SystemMessage(error);
}

class ServiceHandle {
  public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_ != nullptr) {
            CloseServiceHandle(handle_);
        }
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    operator SC_HANDLE() const { return handle_; }

  private:
    SC_HANDLE handle_;
};

// What the service manager's threads share with the program's thread. The control handler
// only hands requests on and reports the pending states; the settled states are reported by
// the program's thread once its handlers have run.
struct Connection {
    std::wstring name;
    EventLoop* loop = nullptr;
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
    EventLoop* loop = connection.loop;
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            ReportPending(SERVICE_STOP_PENDING, 1000);
            loop->Post(ServiceRequest::Stop);
            return NO_ERROR;
        case SERVICE_CONTROL_PAUSE:
            ReportPending(SERVICE_PAUSE_PENDING, 1000);
            loop->Post(ServiceRequest::Pause);
            return NO_ERROR;
        case SERVICE_CONTROL_CONTINUE:
            ReportPending(SERVICE_CONTINUE_PENDING, 1000);
            loop->Post(ServiceRequest::Continue);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            // The range a service defines for itself: the host's further notification.
            if (control >= 128 && control <= 255) {
                loop->Post(ServiceRequest::Control, static_cast<int>(control));
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
void ConnectToServiceManager(EventLoop& loop, const std::string& serviceName) {
    if (connection.registered != nullptr) {
        return;
    }
    connection.name = ToWide(serviceName);
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

// Deletes the event source's key; true when it is gone, also when it was never there.
bool RemoveEventSource(const std::wstring& name, std::string& reason) {
    LSTATUS removed = RegDeleteKeyW(HKEY_LOCAL_MACHINE, (EventSourceKey + name).c_str());
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) {
        reason = Failed("removing the event source", static_cast<DWORD>(removed));
        return false;
    }
    return true;
}

// The event source names the program itself as the file of its message table.
std::string AddEventSource(const std::wstring& name, const std::wstring& executable) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LSTATUS result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (EventSourceKey + name).c_str(), 0,
                                     nullptr, 0, KEY_SET_VALUE, nullptr, &key, &disposition);
    if (result != ERROR_SUCCESS) {
        return Failed("registering the event source", static_cast<DWORD>(result));
    }
    if (disposition != REG_CREATED_NEW_KEY) {
        RegCloseKey(key);
        return "the event source " + FromWide(name) + " exists already";
    }
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    result = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(executable.c_str()),
                            static_cast<DWORD>((executable.size() + 1) * sizeof(wchar_t)));
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&types), sizeof types);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        std::string ignored;
        RemoveEventSource(name, ignored);
        return Failed("registering the event source", static_cast<DWORD>(result));
    }
    return {};
}

}  // namespace

ServiceHost::ServiceHost(EventLoop& loop, std::string serviceName)
    : serviceName_(std::move(serviceName)) {
    loop.OnRequest(ServiceRequest::Stop, [this](int) {
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
    loop.OnRequest(ServiceRequest::Pause, request(OnPauseRequest, SERVICE_PAUSED, SERVICE_RUNNING));
    loop.OnRequest(ServiceRequest::Continue,
                   request(OnContinueRequest, SERVICE_RUNNING, SERVICE_PAUSED));
    loop.OnRequest(ServiceRequest::Control, [this](int value) {
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

bool ServiceHost::Install() {
    failureReason_.clear();
    const std::wstring name = ToWide(serviceName_);
    const std::wstring executable = ToWide(ExecutablePath());
    if (executable.empty()) {
        failureReason_ = "the program's own path is unknown";
        return false;
    }
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (manager == nullptr) {
        failureReason_ = Failed("opening the service control manager");
        return false;
    }
    if (ServiceHandle existing(OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS));
        existing != nullptr) {
        failureReason_ = "the service " + serviceName_ + " exists already";
        return false;
    }
    // Quoted, or the service manager would try "C:\Program.exe" for a path with blanks.
    const std::wstring command = L"\"" + executable + L"\"";
    ServiceHandle service(CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                         SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                         nullptr, nullptr, nullptr));
    if (service == nullptr) {
        failureReason_ = GetLastError() == ERROR_SERVICE_EXISTS
                             ? "the service " + serviceName_ + " exists already"
                             : Failed("creating the service");
        return false;
    }
    std::wstring description =
        L"Keeps the host name at the dynamic-DNS provider pointing at "
        L"this network's external IPv4 address.";
    SERVICE_DESCRIPTIONW describe{description.data()};
    // A crash (an end without reporting "stopped") restarts the service after a second, three
    // times a day at most; a stop of its own is left alone.
    SC_ACTION restart[] = {
        {SC_ACTION_RESTART, 1000}, {SC_ACTION_RESTART, 1000}, {SC_ACTION_RESTART, 1000}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = 3;
    failure.lpsaActions = restart;
    if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &describe)) {
        failureReason_ = Failed("setting the service's description");
    } else if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) {
        failureReason_ = Failed("setting the service's restart after a crash");
    } else {
        failureReason_ = AddEventSource(name, executable);
    }
    if (!failureReason_.empty()) {
        DeleteService(service);
        return false;
    }
    return true;
}

bool ServiceHost::Uninstall() {
    failureReason_.clear();
    const std::wstring name = ToWide(serviceName_);
    auto fail = [this](std::string reason) {
        failureReason_ = std::move(reason);
        std::fprintf(stderr, "%s: %s\n", serviceName_.c_str(), failureReason_.c_str());
        std::fflush(stderr);
        return false;
    };
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager == nullptr) {
        return fail(Failed("opening the service control manager"));
    }
    ServiceHandle service(
        OpenServiceW(manager, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (service == nullptr) {
        return fail(GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST
                        ? "the service " + serviceName_ + " is not installed"
                        : Failed("opening the service"));
    }
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        return fail(Failed("asking for the service's state"));
    }
    if (status.dwCurrentState != SERVICE_STOPPED) {
        if (status.dwCurrentState != SERVICE_STOP_PENDING &&
            !ControlService(service, SERVICE_CONTROL_STOP, &status) &&
            GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
            return fail(Failed("stopping the service"));
        }
        // The service manager offers no wait for a state; it is asked ten times a second.
        const ULONGLONG deadline = GetTickCount64() + UninstallStopTimeoutMs;
        while (status.dwCurrentState != SERVICE_STOPPED && GetTickCount64() < deadline) {
            Sleep(100);
            if (!QueryServiceStatus(service, &status)) {
                return fail(Failed("asking for the service's state"));
            }
        }
        if (status.dwCurrentState != SERVICE_STOPPED) {
            return fail("the service did not stop within 10 s");
        }
    }
    if (!DeleteService(service)) {
        return fail(Failed("deleting the service"));
    }
    std::string reason;
    if (!RemoveEventSource(name, reason)) {
        return fail(reason);
    }
    return true;
}

void ServiceHost::StartService() {
    if (Debug) {
        // Ctrl+C, Ctrl+Break and closing the console window are the stop request of the
        // foreground mode.
        consoleLoop = EventLoop::Current();
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    } else {
        ConnectToServiceManager(*EventLoop::Current(), serviceName_);
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
    ConnectToServiceManager(*EventLoop::Current(), serviceName_);
    Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN);
}

// The service manager keeps no status text; the event log says what went wrong.
void ServiceHost::SetStatus(const std::string&) {}

void ServiceHost::LogEvent(std::int16_t type, std::int32_t id, const std::string& text) {
    WriteEventLogEntry(type, id, text, Debug);
}

}  // namespace platform
