#include "service/frmmain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "service/StatusLine.h"
#include "settings/ConfirmedHosts.h"
#include "settings/modFunktions.h"
#include "settings/modPublic.h"
#include "support/FakeHttp.h"
#include "support/FakeServicePorts.h"
#include "support/TempProgramDirectory.h"

namespace {

using Entry = FakeEventLog::Entry;
using Lines = std::vector<std::string>;

const platform::TimePoint kLogTime = platform::TimePoint{} + std::chrono::hours(24 * 20000);
constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();
const std::string Rule(96, '#');
const std::string EchoUrl = "http://echo.test/ip";
const std::string UpdateUrl =
    "https://provider.test/nic/update?hostname=myhost.zarvo.example&myip=";
const std::string NoUpdate =
    "No update was sent for the IP Address: none was found; the next cycle tries again.";

// Written out, so that a change of width or padding shows; each line is 96 characters.
Lines Banner(const std::string& title) {
    const std::map<std::string, std::string> middle = {
        {"#START",
         "#START                                                                                   "
         "      #"},
        {"#ENDE",
         "#ENDE                                                                                    "
         "      #"},
        {"#ENDE WITH ERRORS",
         "#ENDE WITH ERRORS                                                                        "
         "      #"},
    };
    return {Rule, middle.at(title), Rule};
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines joined;
    for (const Lines& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

// The service's form over fakes, in a program directory of its own with a settings file for
// the two test servers: mail on, at most two error mails in a row, a ten-minute interval.
class frmmainTest : public ::testing::Test {
  protected:
    frmmainTest() {
        AppSettings = AppSettingsRecord{};
        TickCounter = 0;
        CurrentErrorCounter = 0;
        net::http::OverrideHttpRequestFactory(http_.Factory());
        // The log's lines carry the time of clock_, which starts at kLogTime.
        WriteSettings();
        LoadSettings();  // as the load procedure does before the first tick
        auto mail = std::make_unique<FakeMailTransport>();
        auto eventLog = std::make_unique<FakeEventLog>();
        auto router = std::make_unique<FakeRouterQuery>();
        mail_ = mail.get();
        eventLog_ = eventLog.get();
        router_ = router.get();
        form_ = std::make_unique<zarvoupdater::frmmain>(
            ServicePorts{std::move(mail), std::move(eventLog), std::move(router)});
    }

    void WriteSettings(const std::string& application = "", const std::string& account = "",
                       const std::string& server = "https://provider.test",
                       const std::string& password = "secret",
                       const std::string& host = "myhost.zarvo.example") {
        dir_.Write("zarvoupdater.ini",
                   "[Application]\n" + application +
                       "Interval=10\nIsDebug=True\nLoglevel=4\nZARVOUpdater=on\n"
                       "Email=on\nEmail_Server=smtp.test\nEmail_Receiver=admin@zarvo.example\n"
                       "Email_Username=mailuser\nEmail_Password=mailpass\nErrorCounter=2\n"
                       "[ZARVO]\nZARVOServer=" +
                       server + "\nWANIPAdress=" + EchoUrl +
                       "\n[ACCOUNT]\nUsername=demo\nPassword=" + password + "\nHost=" + host +
                       "\n" + account);
    }

    // The log's lines without their date and time.
    Lines LogLines() const {
        const std::string stamp =
            platform::ShortDate(kLogTime) + " " + platform::LongTime(kLogTime) + " ";
        std::istringstream text(dir_.Read("log/zarvoupdater.log"));
        Lines lines;
        for (std::string line; std::getline(text, line);) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            EXPECT_TRUE(line.starts_with(stamp)) << line;
            lines.push_back(line.substr(std::min(stamp.size(), line.size())));
        }
        return lines;
    }

    std::vector<std::string> RequestedUrls() const {
        std::vector<std::string> urls;
        for (const FakeHttp::Sent& sent : http_.Requests()) {
            urls.push_back(sent.url);
        }
        return urls;
    }

    void Pause() {
        bool success = false;
        form_->NTService1_PauseRequest(success);
        EXPECT_TRUE(success);
    }
    void Continue() {
        bool success = false;
        form_->NTService1_ContinueRequest(success);
        EXPECT_TRUE(success);
    }
    // The next wake-up is a first tick again, as after the program's start.
    void RestartCount() {
        Pause();
        TickCounter = 0;
        Continue();
        eventLog_->entries.clear();
    }

    // The timer's next wake-up, in ticks; 0 when it is off.
    std::int64_t TicksArmed() const {
        const platform::Timer& timer = form_->TimerControl();
        return timer.Enabled() ? timer.Period() / platform::TickPeriod() : 0;
    }

    void TearDown() override {
        form_.reset();
        net::http::OverrideHttpRequestFactory({});
        AppSettings = AppSettingsRecord{};
        TickCounter = 0;
        CurrentErrorCounter = 0;
    }

    TempProgramDirectory dir_;
    FakeClock clock_{kLogTime};
    FakeHttp http_;
    FakeMailTransport* mail_ = nullptr;
    FakeEventLog* eventLog_ = nullptr;
    FakeRouterQuery* router_ = nullptr;
    std::unique_ptr<zarvoupdater::frmmain> form_;
};

TEST_F(frmmainTest, NewAddressIsReportedToTheProviderAndMailed) {
    http_.Queue("Current IP Address: 84.1.2.3");
    http_.Queue("good 84.1.2.3");
    form_->Timer_Timer();

    EXPECT_EQ(LogLines(),
              Join({Banner("#START"),
                    {"Read INI File", "Get external IP Address from: " + EchoUrl,
                     "The external IP Address is: 84.1.2.3",
                     "Update this Host: myhost.zarvo.example", "Your hostname has been updated."},
                    Banner("#ENDE")}));
    ASSERT_EQ(http_.Requests().size(), 2u);
    EXPECT_EQ(http_.Requests()[0].method, "get");
    EXPECT_EQ(http_.Requests()[0].url, EchoUrl);
    EXPECT_EQ(http_.Requests()[0].user, "") << "the echo page gets no credentials";
    // Both over IPv4: the echo page would show an IPv6 address, the provider might take one.
    EXPECT_EQ(http_.Requests()[0].family, net::AddressFamily::IPv4);
    EXPECT_EQ(http_.Requests()[1].family, net::AddressFamily::IPv4);
    EXPECT_EQ(http_.Requests()[1].method, "post");
    EXPECT_EQ(http_.Requests()[1].url, UpdateUrl + "84.1.2.3");
    EXPECT_EQ(http_.Requests()[1].user, "demo");
    EXPECT_EQ(http_.Requests()[1].password, "secret");
    ASSERT_EQ(mail_->mails.size(), 1u);
    EXPECT_FALSE(mail_->mails[0].isError);
    EXPECT_NE(mail_->mails[0].text.find(platform::DateTimeText(clock_.now)), std::string::npos)
        << "start and end of the run come from the service's clock";
    EXPECT_TRUE(eventLog_->entries.empty());
    EXPECT_EQ(TicksArmed(), 599);
}

TEST_F(frmmainTest, TickTableRunsAtTheFirstTickThenWhenTheCountReachesIntervalTimesSixty) {
    struct Row {
        std::string interval;
        std::int64_t ticksBetweenRuns;
    };
    for (const Row& row :
         {Row{"10", 600}, Row{"1", 60}, Row{"0", 1}, Row{"-5", 1}, Row{"35791394", 2147483640}}) {
        SCOPED_TRACE("Interval=" + row.interval);
        RestartCount();
        WriteSettings("Interval=" + row.interval + "\n", "StaticIPAddress=84.1.2.3\n");
        http_.Queue("nochg");
        const std::size_t before = http_.Requests().size();
        for (int run = 0; run < 3; ++run) {
            form_->Timer_Timer();
            EXPECT_EQ(TickCounter, 1) << "each run restarts the count at 1";
            // The timer sleeps through the ticks that would only count.
            EXPECT_EQ(TicksArmed(), std::max<std::int64_t>(1, row.ticksBetweenRuns - 1));
        }
        EXPECT_EQ(std::ranges::count(LogLines(), "Read INI File") % 3, 0)
            << "every wake-up ran the cycle";
        EXPECT_EQ(http_.Requests().size(), before + 1) << "nochg confirmed the address";
    }
}

TEST_F(frmmainTest, TicksSleptThroughCountWhenAPauseSwitchesTheTimerOff) {
    clock_.steady += platform::TickPeriod();
    Pause();
    EXPECT_EQ(TickCounter, 0) << "a pause just as the first run is due does not put it off";
    Continue();
    EXPECT_EQ(TicksArmed(), 1);
    http_.Queue("84.1.2.3");
    http_.Queue("good");
    form_->Timer_Timer();
    clock_.steady += platform::TickPeriod() * 100 + platform::TickPeriod() / 2;
    Pause();
    EXPECT_EQ(TickCounter, 101) << "the hundred whole ticks slept count, the half one does not";
    EXPECT_EQ(TicksArmed(), 0);
    Continue();
    EXPECT_EQ(TicksArmed(), 499) << "a continue does not restart the interval";
    EXPECT_EQ(eventLog_->entries, (std::vector<Entry>{{1, 109, "Service paused"},
                                                      {4, 110, "Service continued"},
                                                      {1, 109, "Service paused"},
                                                      {4, 110, "Service continued"}}));
}

TEST_F(frmmainTest, ASettingsChangeRunsTheCycleAtTheNextTickAndTheCountStartsAgainUnlessPaused) {
    http_.Queue("84.1.2.3");
    http_.Queue("good");
    form_->Timer_Timer();
    clock_.steady += platform::TickPeriod() * 100;
    form_->SettingsChanged();
    EXPECT_EQ(TicksArmed(), 1);
    http_.Queue("84.1.2.3");
    form_->Timer_Timer();
    EXPECT_EQ(std::ranges::count(LogLines(), "Read INI File"), 2);
    EXPECT_EQ(TicksArmed(), 599) << "the interval counts from this cycle";
    Pause();
    form_->SettingsChanged();
    EXPECT_EQ(TicksArmed(), 0) << "a paused service runs nothing";
}

TEST_F(frmmainTest, CycleEndsAtEachOfItsExits) {
    struct Row {
        std::string name;
        std::string application, account;
        std::vector<std::string> replies;
        Lines between;  // the log between "Read INI File" and the end banner
        std::vector<std::string> urls;
        int cycles = 1;  // each alike
    };
    const std::string get = "Get external IP Address from: " + EchoUrl;
    const std::vector<Row> rows = {
        {"same address as last reported",
         "",
         "",
         {"84.1.2.3"},
         {get, "The external IP Address is: 84.1.2.3", "There is no new IP Address."},
         {EchoUrl}},
        {"static address",
         "",
         "StaticIPAddress=10.9.8.7\n",
         {"good"},
         {"Update this Host: myhost.zarvo.example", "Your hostname has been updated."},
         {UpdateUrl + "10.9.8.7"}},
        {"no address on the echo page",
         "",
         "",
         {"no address here"},
         {get, "The external IP Address is: ", "The external IP Address can not taken!", NoUpdate},
         {EchoUrl}},
        {"private address on the echo page",
         "",
         "",
         {"Router 192.168.1.1"},
         {get, "The echo page shows no public IP Address: 192.168.1.1",
          "The external IP Address is: ", "The external IP Address can not taken!", NoUpdate},
         {EchoUrl}},
        {"same address, confirmed for another host",
         "",
         "[WAN]\nLastIPAdress=84.1.2.3\nLastIPHost=old.zarvo.example (demo at "
         "https://provider.test)\n",
         {"84.1.2.3", "good"},
         {get, "The external IP Address is: 84.1.2.3", "Update this Host: myhost.zarvo.example",
          "Your hostname has been updated."},
         {EchoUrl, UpdateUrl + "84.1.2.3"}},
        {"updater switched off",
         "ZARVOUpdater=off\n",
         "",
         {"84.9.9.9"},
         {get, "The external IP Address is: 84.9.9.9",
          "ZARVOUpdater is offline, please check Mode in the INI file."},
         {EchoUrl}},
        {"IPv6 on, its address refused, IPv4 confirmed",
         "IPv6=on\n",
         "StaticIPv6Address=2a00:1450::zz\n",
         {"84.1.2.3"},
         {get, "The external IP Address is: 84.1.2.3",
          "StaticIPv6Address is no IPv6 address: 2a00:1450::zz",
          "The external IPv6 Address can not taken!",
          "No update was sent for the IPv6 Address: none was found; the next cycle tries again.",
          "There is no new IP Address."},
         {EchoUrl},
         3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RestartCount();
        WriteSettings(row.application, row.account + "[WAN]\nLastIPAdress=84.1.2.3\n");
        for (int cycle = 0; cycle < row.cycles; ++cycle) {
            std::filesystem::remove(dir_.Path() / "log" / "zarvoupdater.log");
            const std::size_t before = http_.Requests().size();
            for (const std::string& reply : row.replies) {
                http_.Queue(reply);
            }
            form_->Timer_Timer();
            EXPECT_EQ(LogLines(),
                      Join({Banner("#START"), {"Read INI File"}, row.between, Banner("#ENDE")}));
            const std::vector<std::string> urls = RequestedUrls();
            EXPECT_EQ(std::vector<std::string>(urls.begin() + static_cast<std::ptrdiff_t>(before),
                                               urls.end()),
                      row.urls);
            EXPECT_EQ(TicksArmed(), 599);
        }
    }
}

TEST_F(frmmainTest, FailedEchoRequestIsLoggedAndNoUpdateGoesOutWithoutAnAddress) {
    http_.Queue(FakeHttp::Reply{"", "connection refused", {}, true});
    form_->Timer_Timer();
    Lines log = LogLines();
    ASSERT_GE(log.size(), 9u);
    EXPECT_EQ(log[5], "HTTP request failed: " + EchoUrl + ": connection refused");
    EXPECT_EQ(log[8], NoUpdate);
    EXPECT_EQ(RequestedUrls(), (std::vector<std::string>{EchoUrl}));
}

TEST_F(frmmainTest, SettingsThatFailToLoadEndTheRunThroughTheErrorHandler) {
    WriteSettings("ErrorCounter=many\n");
    form_->Timer_Timer();
    const std::string error = "[13] Type mismatch";
    EXPECT_EQ(LogLines(), Join({Banner("#START"), {error}, Banner("#ENDE WITH ERRORS")}));
    EXPECT_EQ(eventLog_->entries, (std::vector<Entry>{{109, 1, error}}));
    ASSERT_EQ(mail_->mails.size(), 1u);
    EXPECT_EQ(mail_->mails[0].text, "!ERROR: " + error);
    EXPECT_TRUE(mail_->mails[0].isError);
    EXPECT_TRUE(http_.Requests().empty());
    EXPECT_EQ(TicksArmed(), 59) << "without an interval of its own, the next try is a minute on";
    for (const std::string interval : {"0", "-5"}) {
        SCOPED_TRACE("Interval=" + interval);
        WriteSettings("Interval=" + interval + "\n", "StaticIPAddress=84.1.2.3\n");
        http_.Queue("nochg");
        form_->Timer_Timer();
        EXPECT_EQ(TicksArmed(), 1);
        WriteSettings("ErrorCounter=many\n");
        form_->Timer_Timer();
        EXPECT_EQ(TicksArmed(), 59) << "one error mail a minute, not one a tick";
    }
}

TEST_F(frmmainTest, CounterAtThe32BitLimitFailsWithOverflowInsteadOfWrapping) {
    TickCounter = Int32Max;
    form_->Timer_Timer();
    EXPECT_EQ(TickCounter, Int32Max);
    EXPECT_EQ(eventLog_->entries, (std::vector<Entry>{{109, 1, "[6] Overflow"}}));
    EXPECT_EQ(LogLines(), Join({{"[6] Overflow"}, Banner("#ENDE WITH ERRORS")}))
        << "the tick fails before the run starts";
}

TEST_F(frmmainTest, IntervalPastThe32BitTickCountFailsEveryLaterTickWithOverflow) {
    WriteSettings("Interval=35791395\n", "StaticIPAddress=84.1.2.3\n");
    http_.Queue("nochg");
    form_->Timer_Timer();
    EXPECT_EQ(TicksArmed(), 1) << "out of range, the next tick reports the overflow";
    form_->Timer_Timer();
    form_->Timer_Timer();
    EXPECT_EQ(eventLog_->entries, (std::vector<Entry>(2, Entry{109, 1, "[6] Overflow"})));
    EXPECT_EQ(http_.Requests().size(), 1u);
}

TEST_F(frmmainTest, ErrorCountStaysAtItsCeilingAndSendsNoMoreMails) {
    struct Row {
        std::int16_t before, after;
    };
    for (const Row& row : {Row{0, 1}, Row{32766, 32767}, Row{32767, 32767}}) {
        SCOPED_TRACE(row.before);
        RestartCount();
        CurrentErrorCounter = row.before;
        mail_->mails.clear();
        WriteSettings("", "StaticIPAddress=84.1.2.3\n");
        http_.Queue("Maximum*update");
        form_->Timer_Timer();
        EXPECT_EQ(CurrentErrorCounter, row.after);
        EXPECT_EQ(mail_->mails.size(), row.after <= 2 ? 1u : 0u);
        EXPECT_EQ(LogLines().back(), Rule);
        EXPECT_TRUE(eventLog_->entries.empty());
    }
}

TEST_F(frmmainTest, AnswersOnlyTheUserCanMendHoldEveryRequestUntilTheAccountSettingsChange) {
    struct Row {
        std::string answer, mendedServer, mendedPassword;
    };
    int n = 0;
    for (const Row& row : {Row{"badauth", "https://provider.test", "mended"},
                           Row{"notfqdn", "HTTP://provider.test", "secret"},
                           Row{"abuse", "https://provider.test", "other"}}) {
        SCOPED_TRACE(row.answer);
        const std::string address = "84.1.2." + std::to_string(++n);
        WriteSettings();
        mail_->mails.clear();
        http_.Queue(address);
        http_.Queue(row.answer);
        form_->Timer_Timer();
        const std::size_t sent = http_.Requests().size();
        std::filesystem::remove(dir_.Path() / "log" / "zarvoupdater.log");
        form_->Timer_Timer();
        EXPECT_EQ(http_.Requests().size(), sent) << "not even the echo page";
        EXPECT_EQ(LogLines(),
                  Join({Banner("#START"),
                        {"Read INI File",
                         "Updates held: the provider answered \"" + row.answer +
                             "\" for myhost.zarvo.example; nothing is sent until Host, Username, "
                             "Password or ZARVOServer change in the settings file, or the "
                             "service is started again."},
                        Banner("#ENDE")}));
        WriteSettings("", "", row.mendedServer, row.mendedPassword);
        http_.Queue(address);
        http_.Queue("good");
        form_->Timer_Timer();
        EXPECT_EQ(http_.Requests().size(), sent + 2);
        EXPECT_EQ(mail_->mails.size(), 2u) << "the answer's and the success's, none while held";
        EXPECT_EQ(std::ranges::count(LogLines(), "Warning: " + ReadableCredentials),
                  row.mendedServer.starts_with("HTTP:") ? 1 : 0);
    }
}

TEST_F(frmmainTest, TroubleOnTheProvidersEndPutsTheNextUpdateOffFor1800TicksFromTheAnswer) {
    // The second answer comes when the service has run for well over 1800 ticks.
    for (const std::string later : {"84.4.4.4", "84.5.5.5"}) {
        SCOPED_TRACE(later);
        const std::size_t before = http_.Requests().size();
        http_.Queue("84.1.2.3");
        http_.Queue("911");
        form_->Timer_Timer();
        // Runs 599, 1198 and 1797 ticks later still read the echo page; a new address is no
        // reason.
        for (int run = 0; run < 3; ++run) {
            http_.Queue(later);
            form_->Timer_Timer();
        }
        Lines log = LogLines();
        EXPECT_EQ(log[log.size() - 4],
                  "Update postponed: the provider answered \"911\" (trouble on its end); the "
                  "next update waits at least 1 more minute(s), until the first check after that.");
        http_.Queue(later);
        http_.Queue("good");
        form_->Timer_Timer();
        const std::vector<std::string> urls = RequestedUrls();
        EXPECT_EQ(std::vector<std::string>(urls.begin() + static_cast<std::ptrdiff_t>(before),
                                           urls.end()),
                  (std::vector<std::string>{EchoUrl, UpdateUrl + "84.1.2.3", EchoUrl, EchoUrl,
                                            EchoUrl, EchoUrl, UpdateUrl + later}));
    }
}

TEST_F(frmmainTest, AServerThatRefusesPostGetsGetFromThenOnButARefusedGetIsNotSentAgain) {
    struct Row {
        std::string address, server;
        std::vector<int> statuses;
        std::vector<std::string> methods;
    };
    // The provider's rule sends GET, so its refusal is the answer and tells nothing of POST.
    for (const Row& row :
         {Row{"84.1.2.3", "https://provider.test\nProvider=dyndns", {405}, {"get"}},
          Row{"84.1.2.4", "https://provider.test", {405, 200}, {"post", "get"}},
          Row{"84.1.2.5", "https://provider.test", {200}, {"get"}}}) {
        SCOPED_TRACE(row.address);
        WriteSettings("", "StaticIPAddress=" + row.address + "\n", row.server);
        const std::size_t before = http_.Requests().size();
        for (int status : row.statuses) {
            http_.Queue(FakeHttp::Reply{"good", {}, {}, true, status});
        }
        form_->Timer_Timer();
        std::vector<std::string> methods;
        for (std::size_t n = before; n < http_.Requests().size(); ++n) {
            methods.push_back(http_.Requests()[n].method);
        }
        EXPECT_EQ(methods, row.methods);
    }
}

TEST_F(frmmainTest, PauseDuringTheCycleKeepsTheTimerOffUntilTheContinue) {
    http_.Queue(FakeHttp::Reply{"84.1.2.3", {}, [this] { Pause(); }, true});
    http_.Queue("good");
    form_->Timer_Timer();
    Lines log = LogLines();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(Lines(log.end() - 3, log.end()), Banner("#ENDE")) << "the run goes on to its end";
    EXPECT_EQ(TicksArmed(), 0);
    Continue();
    EXPECT_EQ(TicksArmed(), 599);
}

TEST_F(frmmainTest, ContinueDuringTheCycleLeavesTheTimerToTheCycle) {
    http_.Queue(FakeHttp::Reply{"84.1.2.3",
                                {},
                                [this] {
                                    Pause();
                                    Continue();
                                    EXPECT_EQ(TicksArmed(), 0) << "the cycle is not over yet";
                                },
                                true});
    http_.Queue("good");
    form_->Timer_Timer();
    EXPECT_EQ(TicksArmed(), 599);
}

TEST_F(frmmainTest, StopEndsTheRunWhereverItWaitsAndLeavesTheTimerOff) {
    struct Row {
        std::string name;
        bool echoStalls, updateStalls, stopInMail, badSettings;
        std::size_t requests, mails;
        std::string lastLine;
    };
    const std::vector<Row> rows = {
        {"echo page", true, false, false, false, 1, 0, "Get external IP Address from: " + EchoUrl},
        {"update request", false, true, false, false, 2, 0,
         "Update this Host: myhost.zarvo.example"},
        {"report mail", false, false, true, false, 2, 1, "Your hostname has been updated."},
        {"error mail", false, false, true, true, 0, 1, "[13] Type mismatch"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        form_.reset();  // one form at a time: each has its own event loop
        TickCounter = 0;
        http_ = FakeHttp();
        auto mail = std::make_unique<FakeMailTransport>();
        FakeMailTransport* sent = mail.get();
        zarvoupdater::frmmain form(ServicePorts{std::move(mail), std::make_unique<FakeEventLog>(),
                                                std::make_unique<FakeRouterQuery>()});
        std::filesystem::remove(dir_.Path() / "log" / "zarvoupdater.log");
        WriteSettings(row.badSettings ? "ErrorCounter=many\n" : "");
        std::function<void()> stop = [&form] { form.NTService1_StopRequest(); };
        http_.Queue(FakeHttp::Reply{
            "84.1.2.3", {}, row.echoStalls ? stop : std::function<void()>(), !row.echoStalls});
        http_.Queue(FakeHttp::Reply{
            "good", {}, row.updateStalls ? stop : std::function<void()>(), !row.updateStalls});
        if (row.stopInMail) {
            sent->duringSend = stop;
        }
        form.Timer_Timer();
        EXPECT_EQ(http_.Requests().size(), row.requests);
        EXPECT_EQ(sent->mails.size(), row.mails);
        EXPECT_EQ(LogLines().back(), row.lastLine) << "no end banner and no failure line";
        EXPECT_FALSE(form.TimerControl().Enabled());
    }
}

TEST_F(frmmainTest, EachProviderGetsItsUrlAndItsWayWithTheTwoFamilies) {
    struct Row {
        std::string provider, application;
        std::vector<std::string> urls;  // after https://, before the host names
    };
    const std::string both = "&myip=84.1.2.3,2a00:1450::1", v4 = "&myip=84.1.2.3",
                      v6 = "&myip=2a00:1450::1", keys = "&myip=84.1.2.3&myipv6=2a00:1450::1";
    const std::string nic = "/nic/update?hostname=myhost.zarvo.example";
    const std::vector<Row> rows = {
        {"dyndns", "", {"members.dyndns.org" + nic + both}},
        {"NoIP", "", {"dynupdate.no-ip.com" + nic + both}},
        {"desec", "", {"update.dedyn.io" + nic + keys}},
        {"desec", "IPv4=off\n", {"update.dedyn.io" + nic + "&myip=preserve&myipv6=2a00:1450::1"}},
        {"dynv6", "", {"dynv6.com" + nic + v4}},
        {"strato", "", {"dyndns.strato.com" + nic + both}},
        {"allinkl", "", {"dyndns.kasserver.com" + nic + both}},
        {"selfhost", "", {"carol.selfhost.de" + nic + v4, "carol.selfhost.de" + nic + v6}},
        {"ddnss", "", {"www.ddnss.de" + nic + v4, "www.ddnss.de" + nic + v6}},
        {"spdyn", "", {"update.spdyn.de" + nic + both}},
        {"dynu", "IPv4=off\n", {"api.dynu.com" + nic + "&myip=no&myipv6=2a00:1450::1"}},
        {"he", "", {"dyn.dns.he.net" + nic + v4, "dyn.dns.he.net" + nic + v6}},
        {"ovh",
         "",
         {"www.ovh.com/nic/update?system=dyndns&hostname=myhost.zarvo.example" + v4,
          "www.ovh.com/nic/update?system=dyndns&hostname=myhost.zarvo.example" + v6}},
        {"inwx", "", {"dyndns.inwx.com" + nic + both}},
        {"dyfi", "", {"www.dy.fi" + nic + v4}},
        {"nosuch", "", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.provider + " " + row.application);
        RestartCount();
        WriteSettings("IPv6=on\n" + row.application,
                      "StaticIPAddress=84.1.2.3\nStaticIPv6Address=2a00:1450::1\n",
                      "\nProvider=" + row.provider);
        const std::size_t before = http_.Requests().size();
        for (std::size_t n = 0; n < row.urls.size(); ++n) {
            http_.Queue("good");
        }
        form_->Timer_Timer();
        std::vector<std::string> urls;
        for (std::size_t n = before; n < http_.Requests().size(); ++n) {
            EXPECT_EQ(http_.Requests()[n].method, "get");
            urls.push_back(http_.Requests()[n].url.substr(8));
        }
        EXPECT_EQ(urls, row.urls);
    }
    EXPECT_EQ(LogLines().end()[-4],
              "Provider \"nosuch\" is none of the known ones (dyndns, noip, desec, dynv6, strato, "
              "allinkl, selfhost, ddnss, spdyn, dynu, he, ovh, inwx, dyfi); no update is sent");
}

TEST_F(frmmainTest, SeveralHostNamesEachKeepTheirAnswerStateAndHold) {
    const std::string names = "home.zarvo.example, vpn.zarvo.example ,nas.zarvo.example";
    WriteSettings("", "StaticIPAddress=84.1.2.3\n", "\nProvider=dyndns", "secret", names);
    http_.Queue("good 84.1.2.3\r\nnohost\r\n");
    form_->Timer_Timer();
    const std::string nic = "https://members.dyndns.org/nic/update?hostname=";
    Lines log = LogLines();
    EXPECT_EQ(Lines(log.begin() + 4, log.end() - 3),
              (Lines{"Update this Host: home.zarvo.example,vpn.zarvo.example,nas.zarvo.example",
                     "home.zarvo.example: Your hostname has been updated.",
                     "vpn.zarvo.example: The specified hostname vpn.zarvo.example does not exist.",
                     "nas.zarvo.example: Unknown response"}));
    ASSERT_EQ(mail_->mails.size(), 1u) << "one mail a cycle";
    EXPECT_NE(mail_->mails[0].text.find("<br>nas.zarvo.example: Unknown response"),
              std::string::npos);
    const std::vector<ConfirmedHost> hosts =
        ReadConfirmedHosts(AppSettings.Host, SettingsFilePath());
    EXPECT_EQ(hosts[0].LastIPAdress + "|" + hosts[0].LastUpdate + "|" + hosts[1].LastIPAdress,
              "84.1.2.3|" + UtcText(clock_.now) + "|");
    // The confirmed name is not sent again, the held one stays out, the unknown one goes again.
    http_.Queue("good");
    form_->Timer_Timer();
    EXPECT_EQ(RequestedUrls(),
              (std::vector<std::string>{
                  nic + "home.zarvo.example,vpn.zarvo.example,nas.zarvo.example&myip=84.1.2.3",
                  nic + "nas.zarvo.example&myip=84.1.2.3"}));
    // An answer about the account holds every name; without a provider, one name a request.
    WriteSettings("", "StaticIPAddress=84.9.9.9\n", "https://provider.test", "secret", names);
    http_.Queue("badauth");
    form_->Timer_Timer();
    form_->Timer_Timer();
    EXPECT_EQ(RequestedUrls().back(),
              "https://provider.test/nic/update?hostname=home.zarvo.example&myip=84.9.9.9");
    EXPECT_EQ(RequestedUrls().size(), 3u);
}

TEST_F(frmmainTest, AnUnchangedAddressGoesOutAgainOnceItsConfirmationIsRefreshDaysOld) {
    struct Row {
        std::string application, lastUpdate;
        platform::TimePoint::duration later;
        bool refreshed;
    };
    const auto day = std::chrono::hours(24);
    const std::string old = UtcText(clock_.now - 25 * day);
    for (const Row& row : {Row{"RefreshDays=0\n", old, 400 * day, false},
                           Row{"", "", 24 * day, false}, Row{"", "", 25 * day, true},
                           Row{"", old, {}, true}, Row{"RefreshDays=26\n", old, {}, false}}) {
        SCOPED_TRACE(row.application + row.lastUpdate);
        WriteSettings("",
                      "StaticIPAddress=84.1.2.3\n[WAN]\nLastIPAdress=84.1.2.3\nLastUpdate=" +
                          row.lastUpdate + "\n",
                      "https://provider.test\n" + row.application);
        clock_.now += row.later;
        const std::size_t before = http_.Requests().size();
        http_.Queue("nochg");
        form_->Timer_Timer();
        EXPECT_EQ(http_.Requests().size(), before + (row.refreshed ? 1 : 0));
        clock_.now -= row.later;
        http_ = FakeHttp();
        if (row.later != platform::TimePoint::duration{}) {
            // Its lines carry the later time.
            std::filesystem::remove(dir_.Path() / "log" / "zarvoupdater.log");
        }
    }
    EXPECT_EQ(LogLines()[4],
              "Refresh: myhost.zarvo.example had no confirmed update for 25 day(s); "
              "its unchanged address goes out again.");
}

}  // namespace

TEST_F(frmmainTest, TheRouterIsSearchedOnceAndItsLineBehindTheCarriersNatIsLoggedAtEachChange) {
    WriteSettings("", "", "https://provider.test\nWANIPSource=router\nWANIPAdress=");
    const std::string url = "http://192.0.2.1:5000/rootDesc.xml";
    // nullptr: no router answered that search; the next still asks the one found before.
    for (const char* reported :
         std::initializer_list<const char*>{"", "", "100.64.1.2", nullptr, "84.1.2.3", ""}) {
        router_->answers.push_back(reported ? net::upnp::RouterAnswer{url, reported}
                                            : net::upnp::RouterAnswer{});
    }
    http_.Queue("good 84.1.2.3");
    for (int cycle = 0; cycle < 6; ++cycle) {
        RestartCount();
        form_->Timer_Timer();
    }
    EXPECT_EQ(router_->asked, (std::vector<std::string>{"", url, url, url, url, url}));
    Lines notes;
    for (const std::string& line : LogLines()) {
        if (line.find("carrier's NAT") != std::string::npos) {
            notes.push_back(line.substr(0, line.find(':')));
        }
    }
    EXPECT_EQ(notes, (Lines{"The router reports no external IP Address",
                            "The router's external IP Address 100.64.1.2 is not public",
                            "The router reports no external IP Address"}));
    EXPECT_EQ(RequestedUrls(), std::vector<std::string>{UpdateUrl + "84.1.2.3"})
        << "nothing without an address, and no echo page without WANIPAdress";
}
