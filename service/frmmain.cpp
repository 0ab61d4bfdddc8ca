#include "service/frmmain.h"

#include <cstdint>
#include <limits>

#include "net/utilIPAdresse.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "report/MailSender.h"
#include "report/modLogfile.h"
#include "service/ProviderAnswer.h"
#include "service/UrlParts.h"
#include "settings/modFunktions.h"
#include "settings/modPublic.h"

namespace {

constexpr std::int16_t ErrorEventType = 109;
constexpr std::int32_t ErrorEventId = 1;
constexpr std::size_t BannerWidth = 96;

// Anything thrown that is not one of our runtime errors (memory, the standard library) is
// still reported through the same handlers, as the classic "Internal error".
platform::RuntimeError AsRuntimeError(const std::exception& error) {
    if (auto* runtimeError = dynamic_cast<const platform::RuntimeError*>(&error)) {
        return *runtimeError;
    }
    return platform::RuntimeError(51, std::string("Internal error: ") + error.what());
}

void WriteBanner(const std::string& title) {
    const std::string rule(BannerWidth, '#');
    std::string middle = title;
    middle.resize(BannerWidth - 1, ' ');
    middle += '#';
    WriteLog(rule, 4);
    WriteLog(middle, 4);
    WriteLog(rule, 4);
}

std::int32_t TicksPerInterval() {
    std::int64_t ticks = std::int64_t{AppSettings.Interval} * 60;
    if (ticks > std::numeric_limits<std::int32_t>::max() ||
        ticks < std::numeric_limits<std::int32_t>::min()) {
        throw platform::errors::OverflowError();
    }
    return static_cast<std::int32_t>(ticks);
}

std::string WithoutLineBreaks(std::string text) {
    auto removeAll = [&text](const std::string& what) {
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
            text.erase(at, what.size());
        }
    };
    removeAll("\r\n");
    removeAll("\r");
    removeAll("\n");
    return text;
}

}  // namespace

frmmain::frmmain()
    : NTService1(loop_, "ZARVOUpdater"),
      Timer(loop_, platform::TickPeriod(), [this] { Timer_Timer(); }) {
    NTService1.OnStart = [this](bool& Success) { NTService1_Start(Success); };
    NTService1.OnPauseRequest = [this](bool& Success) { NTService1_PauseRequest(Success); };
    NTService1.OnContinueRequest = [this](bool& Success) { NTService1_ContinueRequest(Success); };
    NTService1.OnStopRequest = [this] { NTService1_StopRequest(); };
    NTService1.OnControl = [this](int value) { NTService1_Control(value); };
    Timer.SetEnabled(true);
}

std::optional<int> frmmain::Form_Load(const std::string& commandLine) {
    try {
        poSendMail = std::make_unique<platform::MailComponent>();

        if (commandLine == "-install") {
            NTService1.Interactive = true;
            bool installed = NTService1.Install();
            platform::ShowMessageBox(NTService1.ServiceName() + (installed
                                                                     ? " installed successfully"
                                                                     : " failed to install"));
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
    } catch (const std::exception& caught) {
        platform::RuntimeError error = AsRuntimeError(caught);
        if (NTService1.Interactive) {
            platform::ShowMessageBox(error.Text());
            return 1;
        }
        NTService1.LogEvent(ErrorEventType, ErrorEventId, error.Text());
        NTService1.ReportStartFailure(error.Text());
    }
    return std::nullopt;
}

int frmmain::Run() {
    loop_.Run();
    return 0;
}

void frmmain::SendMail(const std::string& SMTPHost, const std::string& Recipient,
                       const std::string& MsgText, const std::string& UserName,
                       const std::string& UserPassword, bool ERROR) {
    ::SendMail(poSendMail.get(), SMTPHost, Recipient, MsgText, UserName, UserPassword, ERROR);
}

void frmmain::ReportNotificationError(const platform::RuntimeError& error) {
    NTService1.LogEvent(ErrorEventType, ErrorEventId, error.Text());
}

void frmmain::NTService1_Start(bool& Success) {
    Success = true;
}

void frmmain::NTService1_PauseRequest(bool& Success) {
    try {
        Timer.SetEnabled(false);
        bPaused = true;
        NTService1.LogEvent(1, 109, "Service paused");
        Success = true;
    } catch (const std::exception& caught) {
        ReportNotificationError(AsRuntimeError(caught));
    }
}

void frmmain::NTService1_ContinueRequest(bool& Success) {
    try {
        bPaused = false;
        Timer.SetEnabled(true);
        Success = true;
        NTService1.LogEvent(4, 110, "Service continued");
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

void frmmain::SwitchTimerOnAfterCycle() {
    Timer.SetEnabled(!bPaused);
}

void frmmain::Timer_Timer() {
    try {
        RunUpdateCycle();
    } catch (const std::exception& caught) {
        Timer_TimerError(AsRuntimeError(caught));
    }
}

void frmmain::RunUpdateCycle() {
    Timer.SetEnabled(false);

    // The interval is the one loaded by the previous run; this run reloads it below.
    if (TickCounter != 0) {
        if (TickCounter == std::numeric_limits<std::int32_t>::max()) {
            throw platform::errors::OverflowError();
        }
        ++TickCounter;
        if (TickCounter < TicksPerInterval()) {
            SwitchTimerOnAfterCycle();
            return;
        }
    }
    TickCounter = 1;

    WriteBanner("#START");
    std::string startTime = platform::DateTimeText(platform::Now());

    LoadSettings();
    WriteLog("Read INI File", 4);

    std::string externalAddress;
    if (!AppSettings.StaticIPAddress.empty()) {
        externalAddress = AppSettings.StaticIPAddress;
    } else {
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
        std::string header;
        AjaxValue echoPage = AjaxComm1.SendData(echoPath, std::int32_t{1}, header);
        if (Unloading()) {
            return;
        }
        externalAddress = ExtractIPAddress(AsText(echoPage));
        WriteLog("The external IP Address is: " + externalAddress, 4);
    }

    if (!externalAddress.empty() && externalAddress == AppSettings.LastIPAdress) {
        WriteLog("There is no new IP Address.", 4);
    } else {
        if (externalAddress.empty()) {
            WriteLog("The external IP Address can not taken!", 4);
        }
        if (AppSettings.ZARVOUpdater) {
            AjaxComm1.SendMethod("post");
            AjaxComm1.ServerAddress(AppSettings.ZARVOServer + "/");
            AjaxComm1.ContentType("TEXT");
            AjaxComm1.Asynchronize(true);
            AjaxComm1.UserName(AppSettings.Username);
            AjaxComm1.Password(AppSettings.Password);
            WriteLog("Update this Host: " + AppSettings.Host, 4);
            std::string header;
            AjaxValue reply = AjaxComm1.SendData(
                "nic/update?hostname=" + AppSettings.Host + "&myip=" + externalAddress,
                std::int32_t{1}, header);
            if (Unloading()) {
                return;
            }
            std::string answer = WithoutLineBreaks(AsText(reply));
            // At its ceiling the count stays put: error mails are long past any limit by then,
            // and an overflow would fail every later cycle.
            if (CurrentErrorCounter < std::numeric_limits<std::int16_t>::max()) {
                ++CurrentErrorCounter;
            }
            std::string endTime = platform::DateTimeText(platform::Now());
            HandleProviderAnswer(answer, externalAddress, startTime, endTime,
                                 [this](const std::string& SMTPHost, const std::string& Recipient,
                                        const std::string& MsgText, const std::string& UserName,
                                        const std::string& UserPassword, bool ERROR) {
                                     SendMail(SMTPHost, Recipient, MsgText, UserName, UserPassword,
                                              ERROR);
                                 });
            if (Unloading()) {
                return;
            }
        }
    }

    if (!AppSettings.ZARVOUpdater) {
        WriteLog("ZARVOUpdater is offline, please check Mode in the INI file.", 4);
    }
    WriteBanner("#ENDE");
    SwitchTimerOnAfterCycle();
}

void frmmain::Timer_TimerError(const platform::RuntimeError& error) {
    if (Unloading()) {
        return;
    }
    if (error.Number() != 0) {
        NTService1.LogEvent(ErrorEventType, ErrorEventId, error.Text());
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
    SwitchTimerOnAfterCycle();
}
