#include "report/MailSender.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/ProgramInfo.h"
#include "platform/RuntimeError.h"
#include "settings/modPublic.h"
#include "support/TempProgramDirectory.h"

namespace {

// Failures found before a connection is opened; the others (and the empty server and sender)
// are exercised end to end against a real server.
struct FailureCase {
    const char* name;
    bool noInstance;
    std::string server, sender, recipient, logged;
};

class SendMailFailure : public ::testing::TestWithParam<FailureCase> {
  protected:
    void SetUp() override {
        platform::OverrideClock([] { return platform::TimePoint{std::chrono::hours(480000)}; });
        AppSettings.IsDebug = true;
        AppSettings.Loglevel = 1;
        AppSettings.LogfileLen = 1000;
    }
    void TearDown() override {
        platform::OverrideClock({});
        AppSettings = AppSettingsRecord{};
    }
    std::string Log() const {
        std::ifstream file(dir_ + "/log/zarvoupdater.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    TempProgramDirectory program_;
    const std::string dir_ = program_.Path().string();
};

TEST_P(SendMailFailure, WritesExactlyOneErrorLineAndReturns) {
    const FailureCase& c = GetParam();
    AppSettings.Email_Sender = c.sender;
    net::mail::MailComponent component;
    EXPECT_NO_THROW(SendMail(c.noInstance ? nullptr : &component, c.server, c.recipient,
                             "<html></html>", "user", "secret", true));
    const platform::TimePoint now = platform::Now();
    EXPECT_EQ(Log(),
              platform::ShortDate(now) + " " + platform::LongTime(now) + " " + c.logged + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    BeforeConnecting, SendMailFailure,
    ::testing::Values(
        FailureCase{"NoInstance", true, "127.0.0.1", "s@zarvo.example", "r@zarvo.example",
                    "[91] Object variable or With block variable not set"},
        FailureCase{"BlankServer", false, "  ", "s@zarvo.example", "r@zarvo.example",
                    "[5] Mail not sent: no SMTP server"},
        FailureCase{"ServerWithOtherScheme", false, "http://mail.zarvo.example", "s@zarvo.example",
                    "r@zarvo.example",
                    "[5] Mail not sent: invalid SMTP server \"http://mail.zarvo.example\""},
        // Credentials in the URL would bypass the rule that they are only sent encrypted.
        FailureCase{"ServerUrlWithCredentials", false, "smtp://u:p@mail.zarvo.example",
                    "s@zarvo.example", "r@zarvo.example",
                    "[5] Mail not sent: the SMTP server setting carries a user name; use the "
                    "login settings"},
        FailureCase{"SenderWithoutDomain", false, "127.0.0.1", "zarvo", "r@zarvo.example",
                    "[5] Mail not sent: invalid sender address \"zarvo\""},
        FailureCase{"OnlyDelimitersAndBlanks", false, "127.0.0.1", "s@zarvo.example", " ; ;",
                    "[5] Mail not sent: no recipient address"},
        // A line break would end the RCPT command and start one of the caller's choosing.
        FailureCase{"RecipientWithLineBreak", false, "127.0.0.1", "s@zarvo.example",
                    "a@zarvo.example\r\nDATA",
                    "[5] Mail not sent: invalid recipient address \"a@zarvo.example??DATA\""}),
    [](const ::testing::TestParamInfo<FailureCase>& testParam) { return testParam.param.name; });

// The service always has an event loop: its failures are logged like any other, and only a
// stop request (the program on its way out) keeps the line back.
TEST_F(SendMailFailure, LogsBesideARunningLoopButNotWhileTheProgramQuits) {
    platform::EventLoop loop;
    SendMail(nullptr, "127.0.0.1", "r@zarvo.example", "<html></html>", "user", "secret", true);
    EXPECT_NE(Log().find("[91] Object variable or With block variable not set\r\n"),
              std::string::npos);
    std::filesystem::remove(dir_ + "/log/zarvoupdater.log");
    loop.Quit();
    SendMail(nullptr, "127.0.0.1", "r@zarvo.example", "<html></html>", "user", "secret", true);
    EXPECT_EQ(Log(), "");
}

// Memory runs out anywhere; the text must read the same on every path that reports it.
TEST(RuntimeErrorText, NamesEachKindOfFailureByItsClassicNumber) {
    using namespace platform::errors;
    EXPECT_EQ(AsRuntimeError(std::bad_alloc()).Text(), "[7] Out of memory");
    EXPECT_EQ(AsRuntimeError(std::out_of_range("vector")).Text(), "[51] Internal error: vector");
    EXPECT_EQ(AsRuntimeError(OverflowError()).Text(), "[6] Overflow");
}

}  // namespace
