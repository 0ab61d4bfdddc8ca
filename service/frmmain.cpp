#include "service/frmmain.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>

#include "net/utilIPAdresse.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "report/MailSender.h"
#include "report/modLogfile.h"
#include "report/utilFileExist.h"
#include "service/AddressFamilies.h"
#include "service/ProviderAnswer.h"
#include "service/UrlParts.h"
#include "settings/modFunktions.h"
#include "settings/modPublic.h"

namespace {

constexpr std::int16_t ErrorEventType = 109;
constexpr std::int32_t ErrorEventId = 1;

using platform::errors::AsRuntimeError;

std::int64_t TicksPerInterval(std::int32_t interval) {
    return std::int64_t{interval} * 60;
}

std::int32_t Checked32(std::int64_t ticks) {
    if (ticks > std::numeric_limits<std::int32_t>::max() ||
        ticks < std::numeric_limits<std::int32_t>::min()) {
        throw platform::errors::OverflowError();
    }
    return static_cast<std::int32_t>(ticks);
}

std::string SettingsProblem(const std::exception& caught) {
    std::string where;
    if (auto* conversion = dynamic_cast<const SettingsConversionError*>(&caught)) {
        where = " at [" + conversion->Section() + "] " + conversion->Key();
    }
    return "settings not loaded: " + AsRuntimeError(caught).Text() + where;
}

}  // namespace

namespace zarvoupdater {

frmmain::frmmain(ServicePorts ports)
    : NTService1(loop_, "ZARVOUpdater"),
      Timer(loop_, platform::TickPeriod(), [this] { Timer_Timer(); }),
      mail_(ports.mail ? std::move(ports.mail) : std::make_unique<SmtpMailTransport>()),
      eventLog_(ports.eventLog ? std::move(ports.eventLog)
                               : std::make_unique<ServiceHostEventLog>(NTService1)),
      clock_(ports.clock ? std::move(ports.clock) : std::make_unique<SystemServiceClock>()) {
    AjaxComm1.RequestFactory(std::move(ports.http));
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

        LoadSettings();
        NTService1.ControlsAccepted = platform::ServiceHost::AcceptPauseContinue;
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
        eventLog_->LogEvent(ErrorEventType, ErrorEventId, error.Text());
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
    eventLog_->LogEvent(ErrorEventType, ErrorEventId, error.Text());
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
        eventLog_->LogEvent(1, 109, "Service paused");
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
        eventLog_->LogEvent(4, 110, "Service continued");
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
    std::string text = bPaused           ? "Paused"
                       : settingsFailed_ ? settingsProblem_
                       : settingsMissing_
                           ? "settings file " + SettingsFilePath() + " not found; defaults in use"
                           : "Running";
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

std::int32_t frmmain::TicksUntilRun() const {
    std::int64_t ticks = TicksPerRun();
    // Out of range, the tick itself reports the overflow.
    if (TickCounter == 0 || ticks > std::numeric_limits<std::int32_t>::max()) {
        return 1;
    }
    return static_cast<std::int32_t>(std::max<std::int64_t>(1, ticks - TickCounter));
}

void frmmain::SwitchTimerOn() {
    ticksArmed_ = TicksUntilRun();
    armedAt_ = clock_->SteadyNow();
    Timer.SetPeriod(platform::TickPeriod() * ticksArmed_);
    Timer.SetEnabled(true);
}

void frmmain::CountTicksSlept() {
    if (!Timer.Enabled()) {
        return;
    }
    // The tick that wakes the timer is not counted here: it has not come yet.
    auto slept = (clock_->SteadyNow() - armedAt_) / platform::TickPeriod();
    TickCounter += static_cast<std::int32_t>(std::clamp<std::int64_t>(slept, 0, ticksArmed_ - 1));
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

void frmmain::LoadSettingsOfCycle() {
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

std::optional<std::string> frmmain::EchoPageText(const std::string& path) {
    AjaxValue page = Request(path);
    return Unloading() ? std::nullopt : std::optional<std::string>(AsText(page));
}

bool frmmain::CountTick() {
    // The interval is the one loaded by the previous run; this run reloads it.
    if (TickCounter != 0) {
        if (TickCounter == std::numeric_limits<std::int32_t>::max()) {
            throw platform::errors::OverflowError();
        }
        ++TickCounter;
        if (TickCounter < Checked32(TicksPerRun())) {
            return false;
        }
    }
    TickCounter = 1;
    return true;
}

std::optional<std::string> frmmain::FindExternalAddress() {
    if (!AppSettings.StaticIPAddress.empty()) {
        return AppSettings.StaticIPAddress;
    }
    const std::string echoServer = ServerPart(AppSettings.WANIPAdress);
    const std::string echoPath = PathPart(AppSettings.WANIPAdress);
    AjaxComm1.SendMethod("get");
    AjaxComm1.ServerAddress(echoServer);
    AjaxComm1.ContentType("TEXT");
    AjaxComm1.Asynchronize(true);
    // The control keeps the provider's credentials from the last update; they are not for
    // the echo page's host, which would get them on a mere challenge.
    AjaxComm1.UserName("");
    AjaxComm1.Password("");
    WriteLog("Get external IP Address from: " + echoServer + echoPath, 4);
    std::optional<std::string> echoPage = EchoPageText(echoPath);
    if (!echoPage) {
        return std::nullopt;
    }
    std::string externalAddress = ExtractIPAddress(*echoPage);
    WriteLog("The external IP Address is: " + externalAddress, 4);
    return externalAddress;
}

bool frmmain::SendUpdate(const SentAddresses& sent, const std::string& startTime) {
    AjaxComm1.SendMethod("post");
    AjaxComm1.ServerAddress(AppSettings.ZARVOServer + "/");
    AjaxComm1.ContentType("TEXT");
    AjaxComm1.Asynchronize(true);
    AjaxComm1.UserName(AppSettings.Username);
    AjaxComm1.Password(AppSettings.Password);
    WriteLog("Update this Host: " + AppSettings.Host, 4);
    AjaxValue reply =
        Request("nic/update?hostname=" + AppSettings.Host + "&myip=" + MyIpList(sent));
    if (Unloading()) {
        return false;
    }
    std::string answer = WithoutLineBreaks(AsText(reply));
    // At its ceiling the count stays put: error mails are long past any limit by then, and an
    // overflow would fail every later cycle.
    if (CurrentErrorCounter < std::numeric_limits<std::int16_t>::max()) {
        ++CurrentErrorCounter;
    }
    std::string endTime = platform::DateTimeText(clock_->Now());
    HandleProviderAnswer(answer, sent, startTime, endTime,
                         [this](const std::string& SMTPHost, const std::string& Recipient,
                                const std::string& MsgText, const std::string& UserName,
                                const std::string& UserPassword, bool isError) {
                             SendMail(SMTPHost, Recipient, MsgText, UserName, UserPassword,
                                      isError);
                         });
    return !Unloading();
}

void frmmain::RunUpdateCycle() {
    if (!CountTick()) {
        return;
    }
    WriteBanner("#START");
    std::string startTime = platform::DateTimeText(clock_->Now());

    LoadSettingsOfCycle();
    WriteLog("Read INI File", 4);

    std::optional<std::string> ipv4 = AppSettings.IPv4 ? FindExternalAddress() : std::string();
    std::optional<std::string> ipv6 =
        ipv4 && AppSettings.IPv6
            ? FindExternalIPv6Address(AjaxComm1, [this](auto& path) { return EchoPageText(path); })
            : std::string();
    if (!ipv4 || !ipv6) {
        return;
    }
    for (const SentAddresses& sent : UpdatesDue(*ipv4, *ipv6)) {
        if (AppSettings.ZARVOUpdater && !SendUpdate(sent, startTime)) {
            return;
        }
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
    if (error.Number() != 0) {
        eventLog_->LogEvent(ErrorEventType, ErrorEventId, error.Text());
        WriteLog(error.Text(), 1);
        if (AppSettings.Email) {
            SendMail(AppSettings.Email_Server, AppSettings.Email_Receiver,
                     "!ERROR: " + error.Text(), AppSettings.Email_Username,
                     AppSettings.Email_Password, true);
            if (Unloading()) {
                return;
            }
        }
    }
    WriteBanner("#ENDE WITH ERRORS");
}

}  // namespace zarvoupdater
