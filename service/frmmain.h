#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/AjaxComm.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/RuntimeError.h"
#include "report/modReport.h"
#include "service/ProviderAnswer.h"
#include "service/RouterSource.h"
#include "service/ServicePorts.h"
#include "service/SettingsWatch.h"
#include "service/UpdatePacing.h"
#include "service/UpdatePlan.h"
#include "service/host/ServiceHost.h"

namespace zarvoupdater {

/// The service's main form: its load procedure, the service notifications, the timer whose
/// tick runs the update cycle, and the mail sender every report goes through.
class frmmain {
  public:
    explicit frmmain(ServicePorts ports = {});

    /// The load procedure. Returns the exit status when the program is to end at once
    /// (install, uninstall, an invalid option, a failed interactive load).
    std::optional<int> Form_Load(const std::string& commandLine);
    /// Processes events until a stop request unloads the form; returns the exit status.
    int Run();

    void SendMail(const std::string& SMTPHost, const std::string& Recipient,
                  const std::string& MsgText, const std::string& UserName,
                  const std::string& UserPassword, bool isError);

    // The handlers of the service host's notifications and of the timer's tick; the event loop
    // calls them, and the tests do in its place.
    void NTService1_Start(bool& Success);
    void NTService1_PauseRequest(bool& Success);
    void NTService1_ContinueRequest(bool& Success);
    void NTService1_StopRequest();
    void NTService1_Control(int value);
    void Timer_Timer();
    /// The user changed the settings file: the cycle runs at the next tick, unless paused.
    void SettingsChanged();

    /// The timer control: off while a cycle runs or the service is paused; its period spans
    /// the ticks it sleeps through.
    const platform::Timer& TimerControl() const { return Timer; }

  private:
    void ReportNotificationError(const platform::RuntimeError& error);

    void RunUpdateCycle();
    /// Finds the external address and sends it when it is new and may go out; false when a
    /// stop came meanwhile.
    bool UpdateIfNew(const std::string& startTime);
    /// Sends the update request for `names` and hands the answer on; false when a stop came
    /// meanwhile.
    bool SendUpdate(const ProviderRule& rule, const std::vector<std::size_t>& names,
                    const SentAddresses& sent, CycleReport& report);
    void Timer_TimerError(const platform::RuntimeError& error);
    /// Switches the timer back on at the end of a cycle, unless a pause came in meanwhile.
    void SwitchTimerOnAfterCycle();
    bool Unloading() const { return loop_.QuitRequested(); }

    /// Switches the timer on so that it sleeps through the ticks that would only count and
    /// wakes at the one that runs the cycle; those ticks are counted in when it wakes.
    void SwitchTimerOn();
    /// Counts the ticks slept through so far, for a timer switched off before it woke.
    void CountTicksSlept();
    std::int64_t TicksPerRun() const;

    void LoadSettingsOfCycle();
    /// AjaxComm1.SendData with the cycle's arguments; a failure's cause goes to the log.
    AjaxValue Request(const std::string& URL_Parameter);
    /// Sets the service's status line from the state, when that changed.
    void ShowStatus();

    platform::EventLoop loop_;
    service::host::ServiceHost NTService1;
    platform::Timer Timer;
    AjaxComm AjaxComm1;
    std::unique_ptr<MailTransport> mail_;
    std::unique_ptr<EventLogSink> eventLog_;
    RouterSource router_;
    /// Where a refresh period counts from for a name without a confirmed update's time.
    platform::TimePoint startedAt_;
    SettingsWatch settingsWatch_{loop_, [this] { SettingsChanged(); }};
    bool bPaused = false;
    bool cycleRunning_ = false;
    std::int32_t ticksArmed_ = 1;
    platform::SteadyTimePoint armedAt_{};

    bool settingsFailed_ = false;
    std::string settingsProblem_;
    bool settingsMissing_ = false;
    std::optional<std::int32_t> lastLoadedInterval_;
    std::string status_;
    UpdatePacing pacing_;
    /// The cycle's host names with what the provider confirmed for each.
    std::vector<ConfirmedHost> hosts_;
    /// When the cycle's last update request was answered.
    std::string endTime_;
    /// An update offered the provider's credentials over plain http.
    bool sentReadableCredentials_ = false;
    /// This cycle has said that the credentials cross the network readable.
    bool warnedOfReadableCredentials_ = false;
};

}  // namespace zarvoupdater
