#include "settings/modFunktions.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ProgramInfo.h"
#include "support/TempProgramDirectory.h"

namespace {

const std::string kTypeMismatch = "[13] Type mismatch";
const std::string kOverflow = "[6] Overflow";

template <typename Convert>
std::string Outcome(Convert convert, const std::string& text) {
    try {
        return std::to_string(convert(text));
    } catch (const platform::RuntimeError& error) {
        return error.Text();
    }
}

TEST(Conversions, IntegersTakeSignAndDigitsWithinTheFieldsRange) {
    for (const std::string text : {"", "abc", "1.5", "0x10", "12abc", "- 1", "1 000", "+", "1e3"}) {
        EXPECT_EQ(Outcome(ToInt32, text), kTypeMismatch) << text;
        EXPECT_EQ(Outcome(ToInt16, text), kTypeMismatch) << text;
    }
    // clang-format off
    const std::string cases[][3] = {  // text, as 32-bit, as 16-bit
        {"15", "15", "15"},   {" 15 ", "15", "15"},  {"\t-1", "-1", "-1"},   {"+3", "3", "3"},
        {"007", "7", "7"},    {"32767", "32767", "32767"},  {"-32768", "-32768", "-32768"},
        {"32768", "32768", kOverflow},            {"-32769", "-32769", kOverflow},
        {"2147483647", "2147483647", kOverflow},  {"-2147483648", "-2147483648", kOverflow},
        {"2147483648", kOverflow, kOverflow},     {"-2147483649", kOverflow, kOverflow},
        {"99999999999999999999999", kOverflow, kOverflow}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(Outcome(ToInt32, c[0]), c[1]) << c[0];
        EXPECT_EQ(Outcome(ToInt16, c[0]), c[2]) << c[0];
    }
}

TEST(Conversions, BooleanTextIsTrueFalseOrANumberAndOnlyOnSwitchesOn) {
    // clang-format off
    const std::string cases[][2] = {
        {"True", "1"}, {"FALSE", "0"}, {" true ", "1"}, {"0", "0"}, {"-1", "1"},
        {"99999999999", "1"}, {"", kTypeMismatch}, {"yes", kTypeMismatch}, {"on", kTypeMismatch},
        {"1.5", kTypeMismatch}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(Outcome(ToBoolean, c[0]), c[1]) << c[0];
    }
    for (const std::string text : {"On", "ON", "True", " on", "on ", "", "1"}) {
        EXPECT_FALSE(SwitchIsOn(text)) << text;
    }
    EXPECT_TRUE(SwitchIsOn("on"));
}

// Every field in declared order, so that whole records compare in one line.
std::string Describe(const AppSettingsRecord& r) {
    std::ostringstream out;
    out << r.Backups << "|" << r.IsDebug << "|" << r.LogfileLen << "|" << r.Loglevel << "|"
        << r.ZARVOUpdater << "|" << r.Email << "|" << r.Email_Receiver << "|" << r.Email_Sender
        << "|" << r.Email_Server << "|" << r.Email_Username << "|" << r.Email_Password << "|"
        << r.ZARVOServer << "|" << r.WANIPAdress << "|" << r.Username << "|" << r.Password << "|"
        << r.Host << "|" << r.StaticIPAddress << "|" << r.LastIPAdress << "|" << r.Interval << "|"
        << r.ErrorCounter;
    return out.str();
}

class LoadSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { AppSettings = {}; }

    void Put(const std::string& content) { std::ofstream(dir_ + "/zarvoupdater.ini") << content; }
    // Loads AppSettings and gives the error text, or "" when the load succeeded.
    static std::string Load() {
        try {
            LoadSettings();
            return "";
        } catch (const platform::RuntimeError& error) {
            return error.Text();
        }
    }

    TempProgramDirectory program_;
    const std::string dir_ = program_.Path().string();
};

TEST_F(LoadSettingsTest, LoadSettings_NoFileGivesEveryDefaultAndCreatesNoFile) {
    EXPECT_EQ(Load(), "");
    EXPECT_EQ(Describe(AppSettings),
              "10|0|10000|1|0|0||||||https://dyndns.zarvo.example|https://ip.zarvo.example/"
              "meineip.php|Username|password|myhost.zarvo.example|||10|5");
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(LoadSettingsTest, LoadSettings_TakesStoredTextsAsTheyAre) {
    // clang-format off
    const std::string cases[][2] = {  // line in [Application], outcome
        {"Interval=", kTypeMismatch},     {"Backups=", kTypeMismatch},  {"IsDebug=", kTypeMismatch},
        {"LogfileLen=", kTypeMismatch},   {"Loglevel=", kTypeMismatch},
        {"ErrorCounter=", kTypeMismatch}, {"Loglevel=40000", kOverflow},
        {"LogfileLen=40000", ""},         {"Email=", ""}};
    // clang-format on
    for (const auto& c : cases) {
        Put("[Application]\n" + c[0] + "\n");
        EXPECT_EQ(Load(), c[1]) << c[0];
    }
    for (const std::string value : {"On", "True", "ON", "on"}) {
        Put("[Application]\nZARVOUpdater=" + value + "\nEmail=" + value + "\n");
        ASSERT_EQ(Load(), "");
        EXPECT_EQ(AppSettings.ZARVOUpdater, value == "on") << value;
        EXPECT_EQ(AppSettings.Email, value == "on") << value;
    }
    // The limit counts characters: "\xc3\xa4" is one letter in two bytes.
    auto umlauts = [](int count) {
        std::string text;
        while (count-- > 0) {
            text += "\xc3\xa4";
        }
        return text;
    };
    Put("[ACCOUNT]\nUsername=\nHost=" + std::string(300, 'h') + "\nPassword=" + umlauts(130) +
        "\n[Application]\nEmail_Password=" + umlauts(300) + "\n[ZARVO]\nZARVOServer=\n");
    ASSERT_EQ(Load(), "");
    EXPECT_EQ(AppSettings.Username + AppSettings.ZARVOServer, "");
    EXPECT_EQ(AppSettings.Host, std::string(255, 'h'));
    EXPECT_EQ(AppSettings.Password, umlauts(130));
    EXPECT_EQ(AppSettings.Email_Password, umlauts(255));
}

// The README shows users a settings file to copy; it must load as the values it explains.
TEST_F(LoadSettingsTest, LoadSettings_TheReadmeExampleLoads) {
    std::ifstream readme(ZARVO_README);
    std::stringstream text;
    text << readme.rdbuf();
    const std::string markdown = text.str();
    const std::string fence = "```ini\n";
    const auto start = markdown.find(fence);
    ASSERT_NE(start, std::string::npos);
    const auto end = markdown.find("```", start + fence.size());
    ASSERT_NE(end, std::string::npos);
    Put(markdown.substr(start + fence.size(), end - start - fence.size()));
    ASSERT_EQ(Load(), "");
    EXPECT_EQ(Describe(AppSettings),
              "10|1|10000|4|1|1|you@example.net|zarvoupdater@example.net|smtp.example.net:587|you|"
              "secret|https://dyndns.provider.example|https://ip.provider.example/meineip.php|"
              "your-account|your-password|yourhost.provider.example|||10|5");
}

TEST_F(LoadSettingsTest, LoadSettings_FailureKeepsEarlierKeysAndResetsTheRest) {
    AppSettings.Email_Sender = "old@zarvo.example";
    AppSettings.Email_Username = "olduser";
    AppSettings.ErrorCounter = 9;
    AppSettings.Host = "oldhost";
    AppSettings.Interval = 77;
    Put("[Application]\nInterval=5\nBackups=3\nIsDebug=true\nLogfileLen=20\nLoglevel=abc\n"
        "Email_Sender=new@zarvo.example\nEmail_Username=newuser\nErrorCounter=2\n");
    try {
        LoadSettings();
        FAIL() << "the load succeeded";
    } catch (const SettingsConversionError& error) {
        EXPECT_EQ(error.Text(), kTypeMismatch);
        EXPECT_EQ(error.Section() + "/" + error.Key() + "=" + error.Value(),
                  "Application/Loglevel=abc");
    }
    EXPECT_EQ(Describe(AppSettings), "3|1|20|0|0|0||old@zarvo.example||olduser|||||||||5|9");
}

TEST_F(LoadSettingsTest, LoadSettingsInto_DialogReadsItsSeventeenKeysEachFromAFreshPath) {
    Put("[ZARVO]\nZARVOServer=http://a.example\nWANIPAdress=http://b.example/meineip.php\n"
        "[WAN]\nLastIPAdress=192.0.2.1\nLastIPv6Adress=2a00::1\n[ACCOUNT]\nUsername=me\n"
        "[Application]\nIPv6=on\nIPv4=off\n");
    int paths = 0;
    auto path = [&] {
        ++paths;
        return dir_ + "/zarvoupdater.ini";
    };
    AppSettingsRecord record;
    LoadSettingsInto(record, path, SettingsKeys::Dialog);
    EXPECT_EQ(paths, 17);
    EXPECT_EQ(record.ZARVOServer + record.WANIPAdress + record.LastIPAdress + record.Username,
              "me");
    LoadSettingsInto(record, path, SettingsKeys::All);
    EXPECT_EQ(paths, 17 + 30);
    EXPECT_EQ(record.LastIPAdress, "192.0.2.1");
    EXPECT_EQ(record.LastIPv6Adress, "2a00::1");
    EXPECT_TRUE(record.IPv6 && !record.IPv4);
    EXPECT_EQ(record.WANIPv6Source, "interface");
    EXPECT_EQ(record.WANIPSource, "echo");
    // A provider's server stands in for the default, never for the one the file names.
    for (const auto& [zarvo, loaded] :
         {std::pair{"Provider=DeSEC\n", "https://update.dedyn.io 25"},
          std::pair{"Provider=desec\nZARVOServer=https://own.example\nRefreshDays=0\n",
                    "https://own.example 0"},
          std::pair{"Provider=nosuch\n", "https://dyndns.zarvo.example 25"}}) {
        Put(std::string("[ZARVO]\n") + zarvo);
        LoadSettingsInto(record, path, SettingsKeys::All);
        EXPECT_EQ(record.ZARVOServer + " " + std::to_string(record.RefreshDays), loaded) << zarvo;
    }
}

TEST_F(LoadSettingsTest, SettingsFilePath_IsNamedAfterTheProgram) {
    platform::OverrideProgramLocation(platform::ProgramLocation{dir_, "otherupdater"});
    EXPECT_EQ(SettingsFilePath(), dir_ + "/otherupdater.ini");
}

TEST_F(LoadSettingsTest, UnknownProgramLocation_FailsInsteadOfUsingTheRootDirectory) {
    platform::OverrideProgramLocation(platform::ProgramLocation{"", "zarvoupdater"});
    EXPECT_EQ(Load(), "[75] Path/File access error");
}

}  // namespace
