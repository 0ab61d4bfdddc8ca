// What the tests ask of Windows about the service where Wine's own tools fall short: Wine's sc
// has no "qc" and its "sc pause" does nothing. One line of key=value pairs per answer, exit
// status 1 with the system's error number on stderr when a call fails.
//
//   service_tool config NAME        the service's registration
//   service_tool state NAME         its state and accepted controls
//   service_tool pause|continue NAME
//   service_tool stop NAME          stops it; the milliseconds until it reported "stopped"
//   service_tool source NAME        the event source's registration
//   service_tool message FILE ID TEXT   the message table's text of ID with TEXT as %1
//   service_tool answer TITLE       waits for the message box TITLE, says its text, presses OK
//   service_tool hold               keeps a hidden window open until standard input ends

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "%s failed with error %lu\n", what, GetLastError());
    return 1;
}

void Print(const wchar_t* key, const std::wstring& value) {
    // The tests read UTF-8.
    int length = WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()), text.data(),
                        length, nullptr, nullptr);
    std::printf("%ls=%s\n", key, text.c_str());
}

SC_HANDLE OpenService(const wchar_t* name, DWORD access) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        return nullptr;
    }
    SC_HANDLE service = OpenServiceW(manager, name, access);
    CloseServiceHandle(manager);
    return service;
}

int Config(const wchar_t* name) {
    SC_HANDLE service = OpenService(name, SERVICE_QUERY_CONFIG);
    if (service == nullptr) {
        return Fail("OpenService");
    }
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, needed, &needed)) {
        return Fail("QueryServiceConfig");
    }
    Print(L"type", std::to_wstring(config->dwServiceType));
    Print(L"start", std::to_wstring(config->dwStartType));
    Print(L"path", config->lpBinaryPathName);
    Print(L"account", config->lpServiceStartName ? config->lpServiceStartName : L"");
    Print(L"display", config->lpDisplayName);
    needed = 0;
    QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    std::vector<BYTE> described(needed);
    auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(described.data());
    if (!QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, described.data(), needed,
                              &needed)) {
        return Fail("QueryServiceConfig2");
    }
    Print(L"description", description->lpDescription ? description->lpDescription : L"");
    CloseServiceHandle(service);
    return 0;
}

int State(const wchar_t* name) {
    SC_HANDLE service = OpenService(name, SERVICE_QUERY_STATUS);
    if (service == nullptr) {
        return Fail("OpenService");
    }
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        return Fail("QueryServiceStatus");
    }
    Print(L"state", std::to_wstring(status.dwCurrentState));
    Print(L"controls", std::to_wstring(status.dwControlsAccepted));
    CloseServiceHandle(service);
    return 0;
}

int Control(const wchar_t* name, DWORD control) {
    SC_HANDLE service = OpenService(name, SERVICE_PAUSE_CONTINUE);
    if (service == nullptr) {
        return Fail("OpenService");
    }
    SERVICE_STATUS status{};
    if (!ControlService(service, control, &status)) {
        return Fail("ControlService");
    }
    CloseServiceHandle(service);
    return 0;
}

// Timed here rather than around `net stop`, whose own start under Wine can take longer than
// the stop it measures.
int Stop(const wchar_t* name) {
    SC_HANDLE service = OpenService(name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (service == nullptr) {
        return Fail("OpenService");
    }
    const ULONGLONG started = GetTickCount64();
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        return Fail("ControlService");
    }
    while (status.dwCurrentState != SERVICE_STOPPED && GetTickCount64() - started < 10'000) {
        Sleep(10);
        if (!QueryServiceStatus(service, &status)) {
            return Fail("QueryServiceStatus");
        }
    }
    if (status.dwCurrentState != SERVICE_STOPPED) {
        SetLastError(ERROR_TIMEOUT);
        return Fail("stopping");
    }
    Print(L"ms", std::to_wstring(GetTickCount64() - started));
    CloseServiceHandle(service);
    return 0;
}

int Source(const wchar_t* name) {
    const std::wstring key =
        std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + name;
    wchar_t file[4096];
    DWORD size = sizeof file;
    // Unexpanded: the registration is compared as written.
    LSTATUS result = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"EventMessageFile",
                                  RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, file, &size);
    DWORD types = 0;
    size = sizeof types;
    if (result == ERROR_SUCCESS) {
        result = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"TypesSupported", RRF_RT_DWORD,
                              nullptr, &types, &size);
    }
    if (result != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(result));
        return Fail("RegGetValue");
    }
    Print(L"file", file);
    Print(L"types", std::to_wstring(types));
    return 0;
}

int Message(const wchar_t* file, const wchar_t* id, const wchar_t* text) {
    HMODULE module = LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return Fail("LoadLibraryEx");
    }
    DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text)};
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                      FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                  module, static_cast<DWORD>(std::wcstoul(id, nullptr, 10)), 0,
                                  reinterpret_cast<wchar_t*>(&buffer), 0,
                                  reinterpret_cast<va_list*>(arguments));
    if (length == 0) {
        return Fail("FormatMessage");
    }
    std::wstring message(buffer, length);
    LocalFree(buffer);
    FreeLibrary(module);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
        message.pop_back();
    }
    Print(L"message", message);
    return 0;
}

// As a person would: the box is found by its title, its text read from the screen, and its
// button pressed.
int Answer(const wchar_t* title) {
    HWND box = nullptr;
    for (int tries = 0; tries < 200 && box == nullptr; ++tries) {
        box = FindWindowW(L"#32770", title);
        if (box == nullptr) {
            Sleep(50);
        }
    }
    if (box == nullptr) {
        SetLastError(ERROR_TIMEOUT);
        return Fail("FindWindow");
    }
    // The text of a message box is its static control 0xFFFF.
    wchar_t text[1024] = L"";
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    std::vector<std::wstring> buttons;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = L"";
        GetClassNameW(child, name, 64);
        if (std::wstring(name) == L"Button") {
            wchar_t caption[64] = L"";
            GetWindowTextW(child, caption, 64);
            buttons.push_back(caption);
        }
    }
    Print(L"text", text);
    Print(L"buttons", buttons.size() == 1 ? buttons[0] : std::to_wstring(buttons.size()));
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr || !PostMessageW(ok, BM_CLICK, 0, 0)) {
        return Fail("pressing OK");
    }
    return 0;
}

// Wine's desktop process ends about a second after its last window closes, and a program that
// starts in that second hangs; a window kept open for the whole test run keeps it.
int Hold() {
    HWND window = CreateWindowExW(0, L"STATIC", L"service tests", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        return Fail("CreateWindowEx");
    }
    std::printf("holding\n");
    std::fflush(stdout);
    char buffer[64];
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) &&
           read > 0) {
    }
    DestroyWindow(window);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"config" && argc == 3) {
        return Config(argv[2]);
    }
    if (command == L"state" && argc == 3) {
        return State(argv[2]);
    }
    if (command == L"pause" && argc == 3) {
        return Control(argv[2], SERVICE_CONTROL_PAUSE);
    }
    if (command == L"continue" && argc == 3) {
        return Control(argv[2], SERVICE_CONTROL_CONTINUE);
    }
    if (command == L"hold" && argc == 2) {
        return Hold();
    }
    if (command == L"answer" && argc == 3) {
        return Answer(argv[2]);
    }
    if (command == L"stop" && argc == 3) {
        return Stop(argv[2]);
    }
    if (command == L"source" && argc == 3) {
        return Source(argv[2]);
    }
    if (command == L"message" && argc == 5) {
        return Message(argv[2], argv[3], argv[4]);
    }
    std::fprintf(stderr,
                 "usage: service_tool config|state|pause|continue|stop|source NAME | "
                 "message FILE ID TEXT\n");
    return 2;
}
