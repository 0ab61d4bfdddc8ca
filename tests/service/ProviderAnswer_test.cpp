#include "service/ProviderAnswer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ProgramInfo.h"
#include "settings/INIFile.h"
#include "settings/modFunktions.h"
#include "settings/modPublic.h"
#include "support/TempProgramDirectory.h"

namespace {

struct SentMail {
    std::string server, recipient, text, user, password;
    bool error;
};

class ProviderAnswerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AppSettings = AppSettingsRecord{};
        AppSettings.Host = "myhost.zarvo.example";
        AppSettings.Email = true;
        AppSettings.Email_Server = "smtp.zarvo.example";
        AppSettings.Email_Receiver = "admin@zarvo.example";
        AppSettings.Email_Username = "mailuser";
        AppSettings.Email_Password = "mailpass";
        AppSettings.ErrorCounter = 2;
        CurrentErrorCounter = 0;
    }

    // As the cycle does it: count the request, hand over the answer, mail the report.
    AnswerOutcome Answer(const std::string& answer, const SentAddresses& address = "84.1.2.3") {
        ++CurrentErrorCounter;
        CycleReport report;
        AnswerOutcome outcome =
            HandleProviderAnswer(answer, host_, 1, address, "2026-12-08T02:05:00Z", report);
        report.Send(
            "start", "end",
            [this](const std::string& server, const std::string& recipient, const std::string& text,
                   const std::string& user, const std::string& password, bool error) {
                mails_.push_back({server, recipient, text, user, password, error});
            });
        return outcome;
    }

    std::string StoredAddress() {
        return ReadIniValue("WAN", "LastIPAdress", "<none>", SettingsFilePath(), 256);
    }

    TempProgramDirectory directory_{"zarvo"};
    ConfirmedHost host_{"myhost.zarvo.example", "", "", "", ""};
    std::vector<SentMail> mails_;
};

TEST_F(ProviderAnswerTest, ErrorMailsStopAtTheLimitUntilASuccessResetsTheCount) {
    Answer("badauth");
    Answer("badauth");
    Answer("badauth");
    ASSERT_EQ(mails_.size(), 2u) << "the third failure in a row is over the limit of 2";
    Answer("good 84.1.2.3");
    EXPECT_EQ(CurrentErrorCounter, 0);
    Answer("badauth");
    ASSERT_EQ(mails_.size(), 4u);
    EXPECT_TRUE(mails_[0].error);
    EXPECT_FALSE(mails_[2].error);
    EXPECT_TRUE(mails_[3].error);
    EXPECT_NE(mails_[2].text.find("ZARVO Update erfolgreich abgeschlossen"), std::string::npos);
    EXPECT_NE(mails_[3].text.find("Invalid username or password."), std::string::npos);
    EXPECT_EQ(mails_[0].server, "smtp.zarvo.example");
    EXPECT_EQ(mails_[0].recipient, "admin@zarvo.example");
    EXPECT_EQ(mails_[0].user, "mailuser");
    EXPECT_EQ(mails_[0].password, "mailpass");
}

TEST_F(ProviderAnswerTest, NochgIsMailedAsAnErrorWhateverTheCountAndResetsIt) {
    AppSettings.ErrorCounter = 0;
    Answer("nohost");
    Answer("nochg 84.1.2.3");
    ASSERT_EQ(mails_.size(), 1u) << "with a limit of 0 no error answer is mailed";
    EXPECT_TRUE(mails_[0].error);
    EXPECT_EQ(CurrentErrorCounter, 0);
    EXPECT_EQ(StoredAddress(), "84.1.2.3") << "nochg confirms the address as good does";
}

TEST_F(ProviderAnswerTest, EachAnswerSaysWhatTheNextRequestsMayDo) {
    using enum AnswerEffect;
    const std::pair<AnswerEffect, std::vector<const char*>> groups[] = {
        {Confirms, {"good", "nochg", "nochg abuse"}},
        {NeedsUser,
         {"nofqdn", "notfqdn", "nohost", "!yours", "badauth", "badagent", "badsys", "disabled",
          "abuse", "numhost", "!donator", " \t!yours", "<html>\r\n  badauth"}},
        {ServerTrouble, {"dnserr", "911"}},
        // A code inside a page (a proxy's abuse@ address) is no answer that holds.
        {None, {"Maximum*update", "", "<p>Mail abuse@proxy.example</p>", "not yours"}}};
    for (const auto& [effect, answers] : groups) {
        for (const char* answer : answers) {
            EXPECT_EQ(Answer(answer).effect, effect) << answer;
        }
    }
    // These are about the account, so every host name of it is held, not the one.
    for (const char* answer : {"badauth", "disabled", "badagent", "!donator"}) {
        EXPECT_TRUE(Answer(answer).accountWide) << answer;
    }
    EXPECT_FALSE(Answer("nohost").accountWide);
}

TEST_F(ProviderAnswerTest, ANegativeLimitIsComparedSigned) {
    AppSettings.ErrorCounter = -1;
    Answer("911");
    Answer("good");
    EXPECT_EQ(mails_.size(), 1u);
    EXPECT_FALSE(mails_[0].error);
}

TEST_F(ProviderAnswerTest, GoodStoresTheSentAddressNotTheOneInTheAnswer) {
    Answer("good 10.9.9.9", "84.1.2.3");
    EXPECT_EQ(StoredAddress(), "84.1.2.3");
    Answer("good", "");
    EXPECT_EQ(StoredAddress(), "") << "an empty address is stored as empty text";
}

// The host, user name and server together may be longer than a value the load reads back; the
// address must still count as confirmed for them, or it would be sent again at every cycle.
TEST_F(ProviderAnswerTest, AnAddressConfirmedForLongSettingsIsConfirmedOnceLoadedAgain) {
    AppSettings.Host = std::string(200, 'h') + ".zarvo.example";
    host_.name = AppSettings.Host;
    AppSettings.ZARVOServer = "https://dyndns.zarvo.example/" + std::string(100, 'p');
    Answer("good", "84.1.2.3");
    // As the next cycle reads them.
    EXPECT_TRUE(IsConfirmedAddress(
        "84.1.2.3", ReadConfirmedHosts(AppSettings.Host, SettingsFilePath()).front()));
}

// One request per family, after the host changed: the family left out holds the old host's
// address, which must go out again, but not the one the cycle's other request just stored.
TEST_F(ProviderAnswerTest, EachFamilyIsStoredForTheCurrentHostAndTheOldHostsAddressDropped) {
    host_.LastIPAdress = "84.1.2.3";
    host_.LastIPv6Adress = "2a00::1";
    host_.LastIPHost = "old.zarvo.example (demo at https://dyndns.zarvo.example)";
    SentAddresses ipv6;
    ipv6.IPv6 = "2a00::2";
    Answer("good", ipv6);
    EXPECT_EQ(StoredAddress(), "");
    Answer("nochg", "84.9.9.9");
    EXPECT_EQ(StoredAddress() + " " +
                  ReadIniValue("WAN", "LastIPv6Adress", "<none>", SettingsFilePath(), 256) + " " +
                  ReadIniValue("WAN", "LastIPHost", "<none>", SettingsFilePath(), 256),
              "84.9.9.9 2a00::2 myhost.zarvo.example ( at )");
}

TEST_F(ProviderAnswerTest, WithMailSwitchedOffNothingIsSent) {
    AppSettings.Email = false;
    Answer("good");
    Answer("nochg");
    Answer("badauth");
    EXPECT_TRUE(mails_.empty());
}

}  // namespace
