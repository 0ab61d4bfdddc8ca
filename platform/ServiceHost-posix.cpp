#include "platform/ServiceHost.h"

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
#include <vector>

#include "platform/EventLog.h"
#include "platform/ProgramInfo.h"

extern char** environ;

namespace platform {

namespace {

bool SystemdRuns() {
    return access("/run/systemd/system", F_OK) == 0;
}

bool RunSystemctl(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "systemctl");
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
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// systemd splits ExecStart= at blanks and expands "%" specifiers and "$" variables in it.
std::string QuotedForSystemd(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        } else if (c == '%' || c == '$') {
            quoted += c;
        }
        quoted += c;
    }
    return quoted + "\"";
}

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
           QuotedForSystemd(ExecutablePath()) +
           "\n"
           "Restart=on-failure\n"
           "NoNewPrivileges=yes\n"
           "PrivateTmp=yes\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

}  // namespace

ServiceHost::ServiceHost(EventLoop& loop, std::string serviceName)
    : serviceName_(std::move(serviceName)) {
    // Handlers go in at once, so that a stop request ends the program even when the load
    // procedure failed before the service was started.
    auto stop = [this](int) {
        if (OnStopRequest) {
            OnStopRequest();
        }
    };
    loop.OnRequest(ServiceRequest::Stop, stop);
    // Pause and continue come only when accepted; systemd's status line follows them.
    auto request = [this](std::function<void(bool&)>& handler, const char* status) {
        return [this, &handler, status](int) {
            if (!PauseAndContinueAccepted() || !handler) {
                return;
            }
            bool success = false;
            handler(success);
            if (success) {
                Notify(status);
            }
        };
    };
    loop.OnRequest(ServiceRequest::Pause, request(OnPauseRequest, "STATUS=Paused"));
    loop.OnRequest(ServiceRequest::Continue, request(OnContinueRequest, "STATUS=Running"));
    loop.OnRequest(ServiceRequest::Control, [this](int value) {
        if (OnControl) {
            OnControl(value);
        }
    });
}

bool ServiceHost::PauseAndContinueAccepted() const {
    return (ControlsAccepted & AcceptPauseContinue) != 0;
}

std::string ServiceHost::UnitPath() const {
    const char* directory = std::getenv("ZARVO_SYSTEMD_DIR");
    std::string base = directory && *directory ? directory : "/etc/systemd/system";
    return base + "/" + serviceName_ + ".service";
}

bool ServiceHost::Install() {
    if (ExecutablePath().empty()) {
        return false;
    }
    std::string path = UnitPath();
    std::error_code error;
    if (std::filesystem::exists(path, error) || error) {
        return false;
    }
    {
        std::ofstream unit(path, std::ios::binary | std::ios::trunc);
        unit << UnitText(serviceName_);
        unit.close();
        if (!unit) {
            std::filesystem::remove(path, error);
            return false;
        }
    }
    chmod(path.c_str(), 0644);
    if (SystemdRuns()) {
        if (!RunSystemctl({"daemon-reload"}) ||
            !RunSystemctl({"enable", serviceName_ + ".service"})) {
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
    if (systemd && !RunSystemctl({"disable", "--now", serviceName_ + ".service"})) {
        return false;
    }
    if (!std::filesystem::remove(path, error)) {
        return false;
    }
    return !systemd || RunSystemctl({"daemon-reload"});
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

void ServiceHost::ReportStartFailure(const std::string& text) {
    Notify("READY=1\nSTATUS=Start failed: " + text);
}

void ServiceHost::LogEvent(std::int16_t type, std::int32_t id, const std::string& text) {
    WriteEventLogEntry(type, id, text, Debug);
}

}  // namespace platform
