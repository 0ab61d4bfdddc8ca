#include "service/host/ServiceHost.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "platform/ProgramInfo.h"
#include "service/host/EventLog.h"
#include "settings/SettingsFile.h"

extern char** environ;

namespace service::host {

namespace {

// Written beside its place and renamed into it, so that systemd never reads half a unit; the
// mode is set explicitly because the umask of whoever installs may hide it from systemd.
std::string WriteUnitFile(const std::string& path, const std::string& text) {
    const std::string written = path + ".new";
    errno = 0;
    std::ofstream unit(written, std::ios::binary | std::ios::trunc);
    int failed = errno;
    unit << text;
    unit.close();
    if (unit && chmod(written.c_str(), 0644) != 0) {
        failed = errno;
        unit.setstate(std::ios::failbit);
    }
    std::error_code error;
    if (unit) {
        std::filesystem::rename(written, path, error);
        failed = error.value();
    }
    if (!unit || error) {
        std::filesystem::remove(written, error);
        return "cannot write " + path +
               (failed != 0 ? ": " + std::generic_category().message(failed) : "");
    }
    return "";
}

std::string Octal(mode_t mode) {
    std::string text;
    for (int shift = 9; shift >= 0; shift -= 3) {
        text += static_cast<char>('0' + ((mode >> shift) & 07));
    }
    return text;
}

// A root service runs whatever is at ExecStart=, so only root may be able to change the program
// or any folder above it. In a sticky folder of root's, such as /tmp, nobody else can rename or
// remove root's folders; the program's own folder must not be writable by others at all, since
// its settings file and log are in it.
std::string WhyOthersCouldChange(const std::string& program) {
    std::filesystem::path path = program;
    for (bool inProgramFolder = true; !path.empty(); path = path.parent_path()) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) {
            return "cannot check " + path.string() + ": " + std::generic_category().message(errno);
        }
        if (info.st_uid != 0) {
            return path.string() + " belongs to user " + std::to_string(info.st_uid) +
                   ", not to root";
        }
        const bool stickyAbove =
            !inProgramFolder && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
        if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !stickyAbove) {
            return path.string() + " is writable by others than root (mode " +
                   Octal(info.st_mode & 07777) + ")";
        }
        inProgramFolder = path == program;
        if (path == path.parent_path()) {
            break;
        }
    }
    return "";
}

bool SystemdRuns() {
    return access("/run/systemd/system", F_OK) == 0;
}

// Empty when systemctl ran and succeeded, else what went wrong, for the administrator.
std::string RunSystemctl(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "systemctl");
    const std::string command = "systemctl " + arguments[1];
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    // The child gets neither the event loop's blocked signals nor the ignored SIGPIPE and
    // SIGXFSZ; and as root it is taken from its fixed place, not from PATH.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    int failed =
        posix_spawn(&child, "/usr/bin/systemctl", nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        return "cannot run /usr/bin/systemctl: " + std::generic_category().message(failed);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return "waiting for " + command + ": " + std::generic_category().message(errno);
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status) == 0
                   ? ""
                   : command + " failed with exit status " + std::to_string(WEXITSTATUS(status));
    }
    return command + " was ended by signal " + std::to_string(WTERMSIG(status));
}

// systemd splits ExecStart= and ReadWritePaths= at blanks and expands "%" specifiers in them;
// "$" variables only in the arguments of ExecStart=, and it has none.
std::string QuotedForSystemd(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += c;
        }
        quoted += c;
    }
    return quoted + "\"";
}

// What the service itself writes in its folder: the settings file, its writers' lock and
// temporary copies, and the log folder.
bool WrittenByTheService(const std::string& name) {
    const std::string settings = std::filesystem::path(::SettingsFilePath()).filename().string();
    const std::string copies = "." + settings + ".";
    return name == settings || name == "log" || name == copies + "lock" ||
           (name.starts_with(copies) && name.size() == copies.size() + 6);
}

// The settings file is replaced by a rename in the program folder, so the folder stays
// writable; everything else in it, the programs above all, is mounted read-only over it, so
// that the service cannot change what root runs later (the dialog through pkexec, the
// package's scripts). "-": a file removed later must not keep the service from starting.
std::string ReadOnlyEntries() {
    std::set<std::string> paths{QuotedForSystemd("-" + platform::ExecutablePath())};
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(platform::ProgramDirectory(), error)) {
        if (!WrittenByTheService(entry.path().filename().string())) {
            paths.insert(QuotedForSystemd("-" + entry.path().string()));
        }
    }
    std::string text;
    for (const std::string& path : paths) {
        text += (text.empty() ? "" : " ") + path;
    }
    return text;
}

// The service needs the network, the journal and its program directory, which holds the
// settings file it writes back and the log directory; the sandbox takes everything else away.
std::string UnitText(const std::string& serviceName) {
    return "[Unit]\n"
           "Description=" +
           serviceName +
           "\n"
           "Wants=network-online.target\n"
           "After=network-online.target\n"
           "\n"
           "[Service]\n"
           "Type=notify\n"
           "ExecStart=" +
           QuotedForSystemd(platform::ExecutablePath()) +
           "\n"
           "Restart=on-failure\n"
           "NoNewPrivileges=yes\n"
           "PrivateTmp=yes\n"
           "ProtectSystem=strict\n"
           "ReadWritePaths=" +
           QuotedForSystemd(platform::ProgramDirectory()) +
           "\n"
           "ReadOnlyPaths=" +
           ReadOnlyEntries() +
           "\n"
           "ProtectHome=yes\n"
           "PrivateDevices=yes\n"
           "ProtectKernelTunables=yes\n"
           "ProtectKernelModules=yes\n"
           "ProtectKernelLogs=yes\n"
           "ProtectControlGroups=yes\n"
           "ProtectClock=yes\n"
           "ProtectHostname=yes\n"
           "ProtectProc=invisible\n"
           "ProcSubset=pid\n"
           "PrivateMounts=yes\n"
           // AF_NETLINK: the kernel's list of the interfaces' IPv6 addresses, read-only.
           "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n"
           "RestrictNamespaces=yes\n"
           "RestrictRealtime=yes\n"
           "RestrictSUIDSGID=yes\n"
           "LockPersonality=yes\n"
           "MemoryDenyWriteExecute=yes\n"
           "SystemCallArchitectures=native\n"
           "SystemCallFilter=@system-service\n"
           "CapabilityBoundingSet=\n"
           "UMask=0077\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

}  // namespace

ServiceHost::ServiceHost(platform::EventLoop& loop, std::string serviceName)
    : serviceName_(std::move(serviceName)) {
    // Handlers go in at once, so that a stop request ends the program even when the load
    // procedure failed before the service was started.
    auto stop = [this](int) {
        Notify("STOPPING=1");
        if (OnStopRequest) {
            OnStopRequest();
        }
    };
    loop.OnRequest(platform::ServiceRequest::Stop, stop);
    // Pause and continue come only when accepted. The status line is the program's to set
    // (SetStatus): besides pause and continue it reports the state of the settings.
    auto request = [this](std::function<void(bool&)>& handler) {
        return [this, &handler](int) {
            if (!PauseAndContinueAccepted() || !handler) {
                return;
            }
            bool success = false;
            handler(success);
        };
    };
    loop.OnRequest(platform::ServiceRequest::Pause, request(OnPauseRequest));
    loop.OnRequest(platform::ServiceRequest::Continue, request(OnContinueRequest));
    loop.OnRequest(platform::ServiceRequest::Control, [this](int value) {
        if (OnControl) {
            OnControl(value);
        }
    });
}

// systemd sees the process end; there is nothing to tell it.
ServiceHost::~ServiceHost() = default;

bool ServiceHost::PauseAndContinueAccepted() const {
    return (ControlsAccepted & AcceptPauseContinue) != 0;
}

std::string ServiceHost::UnitPath() const {
    std::string base = "/etc/systemd/system";
#ifdef ZARVO_TEST_HOOKS
    if (const char* directory = std::getenv("ZARVO_SYSTEMD_DIR"); directory && *directory) {
        base = directory;
    }
#endif
    return base + "/" + serviceName_ + ".service";
}

bool ServiceHost::Install() {
    failureReason_.clear();
    if (platform::ExecutablePath().empty()) {
        failureReason_ = "the program's own path is unknown";
        return false;
    }
    if (std::string why = WhyOthersCouldChange(platform::ExecutablePath()); !why.empty()) {
        failureReason_ = "a root service must not run a program that others can change: " + why;
        return false;
    }
    std::string path = UnitPath();
    std::error_code error;
    if (std::filesystem::exists(path, error) || error) {
        failureReason_ = error ? "cannot check " + path + ": " + error.message()
                               : "the unit " + path + " exists already";
        return false;
    }
    failureReason_ = WriteUnitFile(path, UnitText(serviceName_));
    if (!failureReason_.empty()) {
        return false;
    }
    if (SystemdRuns()) {
        failureReason_ = RunSystemctl({"daemon-reload"});
        if (failureReason_.empty()) {
            failureReason_ = RunSystemctl({"enable", serviceName_ + ".service"});
        }
        if (!failureReason_.empty()) {
            std::filesystem::remove(path, error);
            RunSystemctl({"daemon-reload"});
            return false;
        }
    }
    return true;
}

bool ServiceHost::Uninstall() {
    std::string path = UnitPath();
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return false;
    }
    bool systemd = SystemdRuns();
    if (systemd && !RunSystemctl({"disable", "--now", serviceName_ + ".service"}).empty()) {
        return false;
    }
    if (!std::filesystem::remove(path, error)) {
        return false;
    }
    return !systemd || RunSystemctl({"daemon-reload"}).empty();
}

void ServiceHost::Notify(const std::string& state) const {
    if (!Debug) {
        // sd_notify does nothing without NOTIFY_SOCKET, so a start from a terminal works too.
        sd_notify(0, state.c_str());
    }
}

void ServiceHost::StartService() {
    Notify("READY=1\nSTATUS=Running");
    if (OnStart) {
        bool success = false;
        OnStart(success);
    }
}

void ServiceHost::SetStatus(const std::string& text) {
    Notify("STATUS=" + text);
}

void ServiceHost::ReportStartFailure(const std::string& text) {
    Notify("READY=1\nSTATUS=Start failed: " + text);
}

void ServiceHost::LogEvent(std::int16_t type, std::int32_t id, const std::string& text) {
    WriteEventLogEntry(type, id, text, Debug);
}

}  // namespace service::host
