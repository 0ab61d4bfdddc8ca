#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/EventLoop.h"

namespace service::host {

/// Connects the program to its service host: on Linux to systemd (installs and removes its unit,
/// reports readiness); on Windows to the service control manager (installs and removes the
/// service and its event source, reports each state), or in the foreground mode (-debug) to the
/// console, where Ctrl+C and closing the window are the stop request. Turns the event loop's
/// service requests into the service notifications and writes event-log entries.
class ServiceHost {
  public:
    /// Accepted-controls value with which pause and continue requests are delivered.
    static constexpr std::int32_t AcceptPauseContinue = 2;

    ServiceHost(platform::EventLoop& loop, std::string serviceName);
    /// On Windows tells the service control manager that the service has stopped.
    ~ServiceHost();
    ServiceHost(const ServiceHost&) = delete;
    ServiceHost& operator=(const ServiceHost&) = delete;

    std::string ServiceName() const { return serviceName_; }
    bool Interactive = false;
    bool Debug = false;
    std::int32_t ControlsAccepted = 0;

    /// Writes the unit file and, where systemd runs, reloads and enables it; on Windows creates
    /// the automatic service with its restart after a crash, and its event source. False, with
    /// nothing changed, when it exists already or a step fails; FailureReason() then says why.
    /// Needs the administrator.
    bool Install();
    const std::string& FailureReason() const { return failureReason_; }
    /// Disables and stops the service where systemd runs and removes the unit file; on Windows
    /// stops it (waiting 10 s at most) and deletes it and its event source. False when it was
    /// not installed or a step fails.
    bool Uninstall();
    /// Tells systemd that the service is ready (outside debug mode) and raises the start
    /// notification. On Windows, outside debug mode, first connects to the service control
    /// manager; started any other way the program says so on standard error and ends with 1.
    void StartService();
    /// Tells systemd that the program runs although its start failed, so that it is not killed
    /// for never becoming ready; the status line carries `text`.
    void ReportStartFailure(const std::string& text);
    /// Shows `text` as the service's status line (outside debug mode).
    void SetStatus(const std::string& text);
    void LogEvent(std::int16_t type, std::int32_t id, const std::string& text);

    std::function<void(bool& success)> OnStart;
    std::function<void(bool& success)> OnPauseRequest;
    std::function<void(bool& success)> OnContinueRequest;
    std::function<void()> OnStopRequest;
    std::function<void(int value)> OnControl;

  private:
    std::string UnitPath() const;
    void Notify(const std::string& state) const;
    bool PauseAndContinueAccepted() const;

    std::string serviceName_;
    std::string failureReason_;
};

}  // namespace service::host
