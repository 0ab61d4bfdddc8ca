// The service host's registration with the service control manager and the event log:
// -install and -uninstall. The running service is in ServiceHost-win32.cpp.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/AccessControl-win32.h"
#include "platform/ProgramInfo.h"
#include "platform/Text.h"
#include "service/host/ServiceHost-win32.h"
#include "service/host/ServiceHost.h"
#include "settings/SettingsFile.h"

namespace service::host {

namespace {

constexpr const wchar_t* EventSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr DWORD UninstallStopTimeoutMs = 10'000;

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
        return "the event source " + platform::FromWide(name) + " exists already";
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

// The service runs as LocalSystem from whatever folder it was registered in: whoever may change
// that folder could have LocalSystem run a program, or a DLL that it loads from its own folder.
std::string ProtectProgramFolder(const platform::ProgramLocation& program) {
    const std::wstring folder = platform::ToWide(program.directory);
    const std::wstring settings = platform::ToWide(::SettingsFilePath(program, '\\'));
    // The settings file first: once its DACL is protected, the folder's no longer reaches it.
    if (GetFileAttributesW(settings.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (DWORD error = platform::Protect(settings, platform::kSettingsFileAccess);
            error != ERROR_SUCCESS) {
            return Failed("setting the access rules of " + platform::FromWide(settings), error);
        }
    }
    if (DWORD error = platform::Protect(folder, platform::kProgramFolderAccess);
        error != ERROR_SUCCESS) {
        return Failed("setting the access rules of " + program.directory, error);
    }
    // A file system without access rules (FAT, some network shares) takes them and keeps nothing.
    if (platform::OthersMayChange(folder)) {
        return "users other than SYSTEM and the Administrators may still change " +
               program.directory + ", where the service's program is";
    }
    return {};
}

}  // namespace

bool ServiceHost::Install() {
    failureReason_.clear();
    const std::wstring name = platform::ToWide(serviceName_);
    const std::wstring executable = platform::ToWide(platform::ExecutablePath());
    if (executable.empty()) {
        failureReason_ = "the program's own path is unknown";
        return false;
    }
    failureReason_ = ProtectProgramFolder(platform::ExecutableLocation());
    if (!failureReason_.empty()) {
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
    const std::wstring name = platform::ToWide(serviceName_);
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

}  // namespace service::host
