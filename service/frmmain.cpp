#include "service/frmmain.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>

#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "report/MailSender.h"
#include "report/modLogfile.h"
#include "report/utilFileExist.h"
#include "service/AddressFamilies.h"
#include "service/ProviderAnswer.h"
#include "service/StatusLine.h"
#include "service/TickCount.h"
#include "service/UrlParts.h"
#include "settings/modFunktions.h"
#include "settings/modPublic.h"

namespace {

/// The type and id of an entry the service writes to the event log.
struct EventEntry {
    std::int16_t type;
    std::int32_t id;
};
// Pause and continue are entries of type 1 and 4 with the ids 109 and 110. The error entry
// takes the pause entry's two numbers in the other order, type 109 and id 1: that is how this
// service has always written its errors, and readers of the log filter on exactly these values.
constexpr EventEntry ErrorEvent{109, 1};
constexpr EventEntry PausedEvent{1, 109};
constexpr EventEntry ContinuedEvent{4, 110};

using platform::errors::AsRuntimeError;

}  // namespace

namespace zarvoupdater {

frmmain::frmmain(ServicePorts ports)
    : NTService1(loop_, "ZARVOUpdater"),
      Timer(loop_, platform::TickPeriod(), [this] { Timer_Timer(); }),
      mail_(ports.mail ? std::move(ports.mail) : std::make_unique<SmtpMailTransport>()),
      eventLog_(ports.eventLog ? std::move(ports.eventLog)
                               : std::make_unique<ServiceHostEventLog>(NTService1)),
      router_(ports.router ? std::move(ports.router) : std::make_unique<UpnpRouterQuery>()),
      startedAt_(platform::Now()) {
    NTService1.OnStart = [this](bool& Success) { NTService1_Start(Success); };
    NTService1.OnPauseRequest = [this](bool& Success) { NTService1_PauseRequest(Success); };
    NTService1.OnContinueRequest = [this](bool& Success) { NTService1_ContinueRequest(Success); };
    NTService1.OnStopRequest = [this] { NTService1_StopRequest(); };
    NTService1.OnControl = [this](int value) { NTService1_Control(value); };
    SwitchTimerOn();
}

std::optional<int> frmmain::Form_Load(const std::string& commandLine) {
    try {
        if (commandLine == "-install") {
            NTService1.Interactive = true;
            bool installed = NTService1.Install();
            platform::ShowMessageBox(NTService1.ServiceName() + (installed
                                                                     ? " installed successfully"
                                                                     : " failed to install"));
            if (!installed) {
                std::cerr << NTService1.ServiceName() << ": " << NTService1.FailureReason() << '\n';
            }
            return installed ? 0 : 1;
        }
        if (commandLine == "-uninstall") {
            bool uninstalled = NTService1.Uninstall();
            platform::ShowMessageBox(NTService1.ServiceName() + (uninstalled
                                                                     ? " uninstalled successfully"
                                                                     : " failed to uninstall"));
            return uninstalled ? 0 : 1;
        }
        if (commandLine == "-debug") {
            NTService1.Debug = true;
        } else if (!commandLine.empty()) {
            platform::ShowMessageBox("Invalid command option");
            return 2;
        }

        if (std::string why = settingsWatch_.Start(SettingsFilePath()); !why.empty()) {
            eventLog_->LogEvent(ErrorEvent.type, ErrorEvent.id,
                                "settings changes take effect at the next cycle only: " + why);
        }
        LoadSettings();
        NTService1.ControlsAccepted = service::host::ServiceHost::AcceptPauseContinue;
        NTService1.StartService();
        status_ = "Running";
        lastLoadedInterval_ = AppSettings.Interval;
        settingsMissing_ = !FileExists(SettingsFilePath());
        ShowStatus();
    } catch (const std::exception& caught) {
        platform::RuntimeError error = AsRuntimeError(caught);
        if (NTService1.Interactive) {
            platform::ShowMessageBox(error.Text());
            return 1;
        }
        eventLog_->LogEvent(ErrorEvent.type, ErrorEvent.id, error.Text());
        NTService1.ReportStartFailure(error.Text());
        status_ = "Start failed: " + error.Text();
    }
    return std::nullopt;
}

int frmmain::Run() {
    loop_.Run();
    return 0;
}

void frmmain::SendMail(const std::string& SMTPHost, const std::string& Recipient,
                       const std::string& MsgText, const std::string& UserName,
                       const std::string& UserPassword, bool isError) {
    mail_->SendMail(SMTPHost, Recipient, MsgText, UserName, UserPassword, isError);
}

void frmmain::ReportNotificationError(const platform::RuntimeError& error) {
    eventLog_->LogEvent(ErrorEvent.type, ErrorEvent.id, error.Text());
}

void frmmain::NTService1_Start(bool& Success) {
    Success = true;
}

void frmmain::NTService1_PauseRequest(bool& Success) {
    try {
        CountTicksSlept();
        Timer.SetEnabled(false);
        bPaused = true;
        ShowStatus();
        eventLog_->LogEvent(PausedEvent.type, PausedEvent.id, "Service paused");
        Success = true;
    } catch (const std::exception& caught) {
        ReportNotificationError(AsRuntimeError(caught));
    }
}

void frmmain::NTService1_ContinueRequest(bool& Success) {
    try {
        bPaused = false;
        // During a cycle the timer is the cycle's: it switches it on at its end, so that the
        // next run follows the tick count as after any other cycle.
        if (!cycleRunning_ && !Timer.Enabled()) {
            SwitchTimerOn();
        }
        Success = true;
        ShowStatus();
        eventLog_->LogEvent(ContinuedEvent.type, ContinuedEvent.id, "Service continued");
    } catch (const std::exception& caught) {
        ReportNotificationError(AsRuntimeError(caught));
    }
}

void frmmain::NTService1_StopRequest() {
    // Unloading the form: a cycle waiting for an HTTP answer gives up at once, and the event
    // loop returns to main as soon as control is back in it.
    AjaxComm1.Abort();
    loop_.Quit();
}

void frmmain::NTService1_Control(int) {}

void frmmain::ShowStatus() {
    const std::string text =
        StatusText({bPaused, settingsFailed_ ? settingsProblem_ : "", ProviderProblem(),
                    pacing_.HoldReason(), settingsMissing_ ? SettingsFilePath() : "",
                    sentReadableCredentials_, router_.StatusNote()});
    if (text != status_) {
        status_ = text;
        NTService1.SetStatus(text);
    }
}

std::int64_t frmmain::TicksPerRun() const {
    // A failed load leaves no interval the user meant; waiting at least a minute keeps a typo
    // from running the cycle, and reporting its error, on every tick.
    if (settingsFailed_) {
        return TicksPerInterval(std::max<std::int32_t>(1, lastLoadedInterval_.value_or(1)));
    }
    return TicksPerInterval(AppSettings.Interval);
}

void frmmain::SwitchTimerOn() {
    ticksArmed_ = TicksUntilRun(TicksPerRun());
    armedAt_ = platform::SteadyNow();
    Timer.SetPeriod(platform::TickPeriod() * ticksArmed_);
    Timer.SetEnabled(true);
}

void frmmain::CountTicksSlept() {
    if (!Timer.Enabled()) {
        return;
    }
    // The tick that wakes the timer is not counted here: it has not come yet.
    auto slept = std::clamp<std::int64_t>(
        (platform::SteadyNow() - armedAt_) / platform::TickPeriod(), 0, ticksArmed_ - 1);
    TickCounter += static_cast<std::int32_t>(slept);
    pacing_.TicksPassed(slept);
    ticksArmed_ = 1;
}

void frmmain::SwitchTimerOnAfterCycle() {
    if (!bPaused) {
        SwitchTimerOn();
    }
}

void frmmain::Timer_Timer() {
    Timer.SetEnabled(false);
    // The ticks slept through count as if each had come; only the last could run the cycle.
    TickCounter += ticksArmed_ - 1;
    pacing_.TicksPassed(ticksArmed_);
    ticksArmed_ = 1;
    cycleRunning_ = true;
    try {
        RunUpdateCycle();
    } catch (const std::exception& caught) {
        Timer_TimerError(AsRuntimeError(caught));
    }
    cycleRunning_ = false;
    if (!Unloading()) {
        SwitchTimerOnAfterCycle();
    }
}

void frmmain::SettingsChanged() {
    // Each write of a burst starts the tick afresh, so that the cycle reads the finished save.
    if (!bPaused) {
        CountTicksSlept();
        Timer.SetEnabled(false);
        TickCounter = 0;
        SwitchTimerOn();
    }
}

void frmmain::LoadSettingsOfCycle() {
    settingsWatch_.Read();
    try {
        LoadSettings();
    } catch (const std::exception& caught) {
        settingsFailed_ = true;
        settingsProblem_ = SettingsProblem(caught);
        ShowStatus();
        throw;
    }
    settingsFailed_ = false;
    lastLoadedInterval_ = AppSettings.Interval;
    settingsMissing_ = !FileExists(SettingsFilePath());
    ShowStatus();
}

AjaxValue frmmain::Request(const std::string& URL_Parameter) {
    std::string header;
    AjaxValue answer = AjaxComm1.SendData(URL_Parameter, std::int32_t{1}, header);
    if (!Unloading() && !AjaxComm1.FailureReason().empty()) {
        WriteLog("HTTP request failed: " +
                     WithoutCredentials(AjaxComm1.ServerAddress() + URL_Parameter) + ": " +
                     AjaxComm1.FailureReason(),
                 1);
    }
    return answer;
}

bool frmmain::SendUpdate(const ProviderRule& rule, const std::vector<std::size_t>& names,
                         const SentAddresses& sent, CycleReport& report) {
    AjaxComm1.SendMethod(rule.method == "get" ? "get" : pacing_.UpdateMethod());
    AjaxComm1.ServerAddress(AppSettings.ZARVOServer + "/");
    // Over IPv4, as ever: a provider takes the address the request came from (dy.fi only that).
    // With IPv4 switched off (DS-Lite), the provider is reached however the machine reaches it.
    AjaxComm1.AddressFamily(AppSettings.IPv4 ? net::AddressFamily::IPv4 : net::AddressFamily::Any);
    AjaxComm1.ContentType("TEXT");
    AjaxComm1.Asynchronize(true);
    AjaxComm1.UserName(AppSettings.Username);
    AjaxComm1.Password(AppSettings.Password);
    const std::vector<std::string> hostNames = NamesOf(hosts_, names);
    WriteLog("Update this Host: " + Listed(hostNames), 4);
    sentReadableCredentials_ = CredentialsCrossReadable();
    // Once a cycle, even when it sends several requests.
    if (sentReadableCredentials_ && !warnedOfReadableCredentials_) {
        WriteLog("Warning: " + ReadableCredentials, 1);
        warnedOfReadableCredentials_ = true;
    }
    const std::string query = UpdateQuery(rule, hostNames, sent);
    AjaxValue reply = Request(query);
    // dyndns2 servers exist whose update takes GET only; providers that take the POST still get
    // nothing else.
    if (!Unloading() && AjaxComm1.Status() == 405 && AjaxComm1.SendMethod() == "post") {
        pacing_.PostRefused();
        WriteLog("The provider refuses POST; the update goes out again as GET.", 4);
        AjaxComm1.SendMethod(pacing_.UpdateMethod());
        reply = Request(query);
    }
    if (Unloading()) {
        return false;
    }
    // At its ceiling the count stays put: error mails are long past any limit by then, and an
    // overflow would fail every later cycle.
    if (CurrentErrorCounter < std::numeric_limits<std::int16_t>::max()) {
        ++CurrentErrorCounter;
    }
    endTime_ = platform::DateTimeText(platform::Now());
    const std::vector<std::string> answers = AnswersPerName(AsText(reply), names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
        ConfirmedHost& host = hosts_[names[k]];
        AnswerOutcome outcome = HandleProviderAnswer(answers[k], host, hosts_.size(), sent,
                                                     UtcText(platform::Now()), report);
        pacing_.Answered(outcome, host.name);
    }
    ShowStatus();
    return !Unloading();
}

bool frmmain::UpdateIfNew(const std::string& startTime) {
    std::optional<FoundAddresses> found = FindExternalAddresses(
        AjaxComm1,
        [this](auto& path) {
            AjaxValue page = Request(path);
            return Unloading() ? std::nullopt : std::optional<std::string>(AsText(page));
        },
        router_);
    if (!found) {
        return false;
    }
    ShowStatus();
    const ProviderRule rule = CycleRule();
    ReportMissingAddresses(*found, rule.families);
    hosts_ = ReadConfirmedHosts(AppSettings.Host, SettingsFilePath());
    const auto planned = PlanUpdates(*found, hosts_, rule, platform::Now(), startedAt_);
    if (planned.empty() || !AppSettings.ZARVOUpdater) {
        return true;
    }
    warnedOfReadableCredentials_ = false;
    CycleReport report;
    std::set<std::string> told;
    for (const PlannedUpdate& update : planned) {
        if (std::string wait = pacing_.WaitReason(); !wait.empty()) {
            WriteLog(wait, 4);
            break;
        }
        const std::vector<std::size_t> names = pacing_.NotHeld(update.names, hosts_, told);
        if (!names.empty() && !SendUpdate(rule, names, update.sent, report)) {
            return false;
        }
    }
    report.Send(startTime, endTime_, [this](const auto&... mail) { SendMail(mail...); });
    return !Unloading();
}

void frmmain::RunUpdateCycle() {
    // The interval is the one loaded by the previous run; this run reloads it.
    if (!CountTick(TicksPerRun())) {
        return;
    }
    WriteBanner("#START");
    std::string startTime = platform::DateTimeText(platform::Now());

    LoadSettingsOfCycle();
    WriteLog("Read INI File", 4);

    // Repeating what only the user can mend gets the account blocked; the echo page is spared
    // as well.
    if (const std::string problem = ProviderProblem(); !problem.empty()) {
        WriteLog(problem, 1);
    } else if (std::string held = pacing_.HoldReason(); !held.empty()) {
        WriteLog(held, 4);
    } else if (!UpdateIfNew(startTime)) {
        return;
    }

    if (!AppSettings.ZARVOUpdater) {
        WriteLog("ZARVOUpdater is offline, please check Mode in the INI file.", 4);
    }
    WriteBanner("#ENDE");
}

void frmmain::Timer_TimerError(const platform::RuntimeError& error) {
    if (Unloading()) {
        return;
    }
    eventLog_->LogEvent(ErrorEvent.type, ErrorEvent.id, error.Text());
    WriteLog(error.Text(), 1);
    if (AppSettings.Email) {
        SendMail(AppSettings.Email_Server, AppSettings.Email_Receiver, "!ERROR: " + error.Text(),
                 AppSettings.Email_Username, AppSettings.Email_Password, true);
        if (Unloading()) {
            return;
        }
    }
    WriteBanner("#ENDE WITH ERRORS");
}

}  // namespace zarvoupdater
