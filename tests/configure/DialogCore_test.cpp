#include "configure/DialogCore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "configure/DialogLayout.h"
#include "configure/DialogService.h"
#include "platform/ProgramInfo.h"
#include "platform/Text.h"
#include "tests/configure/DialogCoreTest.h"

namespace {

namespace fs = std::filesystem;

bool Inside(int left, int top, int width, int height, int outerWidth, int outerHeight) {
    return left >= 0 && top >= 0 && left + width <= outerWidth && top + height <= outerHeight;
}

TEST(DialogLayout, ControlsFitTheirFramesDoNotOverlapAndTabInTableOrder) {
    std::map<std::string, const DialogControl*> frames;
    const auto controls = DialogControls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const DialogControl& c = controls[i];
        EXPECT_EQ(c.tabIndex, static_cast<int>(i)) << ControlName(c);
        EXPECT_EQ(FindControl(ControlName(c)), &c) << "the name of one control only";
        int outerWidth = kClientWidthTwips, outerHeight = kClientHeightTwips;
        if (c.frame != nullptr) {
            ASSERT_TRUE(frames.count(c.frame)) << ControlName(c) << " before its frame";
            outerWidth = frames[c.frame]->width;
            outerHeight = frames[c.frame]->height;
        }
        EXPECT_TRUE(Inside(c.left, c.top, c.width, c.height, outerWidth, outerHeight))
            << ControlName(c);
        for (std::size_t j = 0; j < i; ++j) {
            const DialogControl& o = controls[j];
            const bool sameParent = (c.frame == nullptr) == (o.frame == nullptr) &&
                                    (c.frame == nullptr || std::string(c.frame) == o.frame);
            const bool apart = c.left >= o.left + o.width || o.left >= c.left + c.width ||
                               c.top >= o.top + o.height || o.top >= c.top + c.height;
            EXPECT_TRUE(!sameParent || apart) << ControlName(c) << " overlaps " << ControlName(o);
        }
        if (c.kind == ControlKind::Frame) {
            frames[c.name] = &c;
        }
        // A caption shares its row with its box, comes just before it and has a text box's index.
        if (c.kind == ControlKind::TextBox || c.kind == ControlKind::ComboBox) {
            const DialogControl& label = controls[i - 1];
            EXPECT_EQ(label.kind, ControlKind::Label);
            EXPECT_TRUE(label.index == c.index || c.kind == ControlKind::ComboBox);
            EXPECT_LE(std::abs(label.top - c.top), 30);
        }
        const bool edits = c.kind == ControlKind::TextBox || c.kind == ControlKind::CheckBox ||
                           c.kind == ControlKind::ComboBox;
        const bool show = c.kind == ControlKind::CheckBox && c.index == kShowPasswords;
        EXPECT_EQ(c.key != nullptr, edits && !show) << ControlName(c);
    }
    EXPECT_EQ(ControlName(controls[2]), "Text0");
    EXPECT_EQ(ControlName(controls[0]), "frmAccount");
    EXPECT_EQ(FindControl("Text"), nullptr);
}

TEST_F(DialogCoreTest, LoadWithoutFileShowsTheDefaultsAndCreatesNothing) {
    const DialogValues values = Loaded();
    const std::array<std::string, 14> defaults = {
        "Username",  "password", "myhost.zarvo.example", "", "10", "5", "", "", "", "", "", "25",
        "interface", ""};
    EXPECT_EQ(values.Text, defaults);
    EXPECT_EQ(values.chkZARVOUpdater, (std::array<bool, 5>{false, false, true, false, false}));
    EXPECT_EQ(values.cboZARVO, (std::array<std::string, 3>{"", "echo", ""}));
    EXPECT_EQ(values.choices[0].size(), 15u);
    EXPECT_EQ(values.confirmed, "myhost.zarvo.example: none confirmed yet");
    EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(DialogCoreTest, LoadShowsUnderEachControlTheKeyTheLayoutGivesIt) {
    std::string text = "[ACCOUNT]\n";
    for (const char* key : {"Username", "Password", "Host", "StaticIPAddress"}) {
        text += key + std::string("=value of ") + key + "\n";
    }
    text += "StaticIPv6Address=value of StaticIPv6Address\n";
    text += "[ZARVO]\nRefreshDays=value of RefreshDays\nWANIPv6Source=value of WANIPv6Source\n";
    for (const char* key : {"Provider", "WANIPSource", "IPv6Request"}) {
        text += key + std::string("=value of ") + key + "\n";
    }
    text += "[Application]\nZARVOUpdater=on\nEmail=off\nInterval= 0017 \nErrorCounter=-3\n";
    text += "IPv4=off\nIPv6=on\n";
    for (const char* key :
         {"Email_Receiver", "Email_Sender", "Email_Server", "Email_Username", "Email_Password"}) {
        text += key + std::string("=value of ") + key + "\n";
    }
    Store(text);
    const DialogValues values = Loaded();
    for (const DialogControl& c : DialogControls()) {
        if (c.kind == ControlKind::TextBox) {
            const std::string key = c.key;
            const std::string expected = key == "Interval"       ? "17"
                                         : key == "ErrorCounter" ? "-3"
                                                                 : "value of " + key;
            EXPECT_EQ(values.Text[c.index], expected) << ControlName(c);
        } else if (c.kind == ControlKind::ComboBox) {
            EXPECT_EQ(values.cboZARVO[c.index], "value of " + std::string(c.key));
            EXPECT_EQ(values.choices[c.index].back().value, values.cboZARVO[c.index]);
        } else if (c.kind == ControlKind::CheckBox && c.key != nullptr) {
            const std::string key = c.key;
            EXPECT_EQ(values.chkZARVOUpdater[c.index], key == "ZARVOUpdater" || key == "IPv6");
        }
    }
}

TEST_F(DialogCoreTest, LoadThatCannotGoOnSaysWhyInsteadOfShowingDefaults) {
    const std::string path = ini_.string();
    const std::string unreadable = "The settings file " + path +
                                   " cannot be read. Start the dialog as a user who may read it, "
                                   "for example with sudo.";
    struct Case {
        const char* what;
        void (*prepare)(const fs::path& ini);
        std::string message;
    };
    const Case cases[] = {
        {"a value that does not convert",
         [](const fs::path& ini) { std::ofstream(ini) << "[Application]\nLoglevel=40000\n"; },
         "The settings in \"" + path +
             "\" cannot be loaded.\n\nThe key \"Loglevel\" in section [Application] has the "
             "value \"40000\": [6] Overflow"},
        {"a directory", [](const fs::path& ini) { fs::create_directory(ini); }, unreadable},
    };
    for (const Case& c : cases) {
        fs::remove_all(ini_);
        c.prepare(ini_);
        DialogValues values;
        DialogMessage message;
        EXPECT_FALSE(LoadDialogValues(values, message)) << c.what;
        EXPECT_EQ(message.kind, DialogMessage::Kind::Critical) << c.what;
        EXPECT_EQ(message.text, c.message) << c.what;
    }
}

TEST_F(DialogCoreTest, WithoutItsOwnDirectoryTheDialogNeitherLoadsNorWritesAtTheRoot) {
    platform::OverrideProgramLocation(platform::ProgramLocation{"", "configure"});
    DialogValues values;
    DialogMessage message;
    EXPECT_FALSE(LoadDialogValues(values, message));
    EXPECT_EQ(message.text,
              "The settings cannot be loaded: the dialog's own directory is unknown.\n\n"
              "[75] Path/File access error");
    values.Text[4] = "10";
    values.Text[5] = "5";
    values.Text[11] = "25";
    EXPECT_FALSE(SaveDialogValues(values, message));
    EXPECT_EQ(message.text,
              "The settings were not saved.\n\nThe program's own directory is unknown.");
    EXPECT_FALSE(fs::exists("/zarvoupdater.ini"));
}

TEST_F(DialogCoreTest, SaveWritesTheThirteenKeysInTabOrderAndKeepsTheRest) {
    Store(
        "; by hand\n[ZARVO]\nZARVOServer=http://dyndns.other.example\n[Application]\nLoglevel=4\n");
    DialogValues values = Loaded();
    for (std::size_t i = 0; i < 11; ++i) {
        values.Text[i] = std::to_string(i + 1);
    }
    values.chkZARVOUpdater[0] = true;
    DialogMessage message;
    ASSERT_TRUE(SaveDialogValues(values, message)) << message.text;
    EXPECT_EQ(
        Stored(),
        "; by hand\n[ZARVO]\nZARVOServer=http://dyndns.other.example\n[Application]\n"
        "Loglevel=4\nZARVOUpdater=on\nInterval=5\nErrorCounter=6\nEmail=off\n"
        "Email_Receiver=7\nEmail_Sender=8\nEmail_Server=9\nEmail_Username=10\n"
        "Email_Password=11\n\n[ACCOUNT]\nUsername=1\nPassword=2\nHost=3\nStaticIPAddress=4\n");
}

TEST_F(DialogCoreTest, SaveTakesNumbersUpToTheServicesLimitsAndRefusesTheRestUnwritten) {
    struct Case {
        int box;
        const char* value;
        const char* refusal;  // nullptr: saved, and read back as `value` without its blanks
    };
    const Case cases[] = {
        {4, "35791394", nullptr},
        {4, "-35791394", nullptr},
        {4, " 7 ", nullptr},
        {5, "32767", nullptr},
        {5, "-32768", nullptr},
        {4, "35791395",
         "Interval Minute (Interval): \"35791395\" is not a whole number from -35791394 to "
         "35791394 ([6] Overflow).\n\nThe settings were not saved."},
        {4, "ten",
         "Interval Minute (Interval): \"ten\" is not a whole number from -35791394 to 35791394 "
         "([13] Type mismatch).\n\nThe settings were not saved."},
        {5, "32768",
         "Error Email Count (ErrorCounter): \"32768\" is not a whole number from -32768 to 32767 "
         "([6] Overflow).\n\nThe settings were not saved."},
        {11, "0", nullptr},
        {11, "-1",
         "Refresh Days (RefreshDays): \"-1\" is not a whole number from 0 to 32767 ([6] "
         "Overflow).\n\nThe settings were not saved."},
    };
    for (const Case& c : cases) {
        Store("[ACCOUNT]\nUsername=alice\n");
        DialogValues values = Loaded();
        values.Text[0] = "bob";
        values.Text[c.box] = c.value;
        DialogMessage message;
        const bool saved = SaveDialogValues(values, message);
        EXPECT_EQ(saved, c.refusal == nullptr) << c.value;
        if (c.refusal != nullptr) {
            EXPECT_EQ(message.kind, DialogMessage::Kind::Warning);
            EXPECT_EQ(message.text, c.refusal);
            EXPECT_EQ(Stored(), "[ACCOUNT]\nUsername=alice\n");
        } else {
            EXPECT_EQ(Loaded().Text[c.box], std::string(platform::TrimBlanks(c.value)));
        }
    }
}

TEST_F(DialogCoreTest, SaveWritesAKeyOfTheThirdFrameAsLoadedUnlessChangedAndAMissingOneNot) {
    Store("[Application]\nIPv4=True\n[ZARVO]\nProvider=MyOwn\nRefreshDays= 7 \n");
    DialogValues values = Loaded();
    EXPECT_EQ(values.choices[0].back().caption, "MyOwn");
    values.chkZARVOUpdater[3] = true;
    values.cboZARVO[2] = "separate";
    DialogMessage message;
    ASSERT_TRUE(SaveDialogValues(values, message)) << message.text;
    const std::string saved = Stored();
    for (const char* kept : {"IPv4=True\n", "Provider=MyOwn\n", "RefreshDays= 7\n", "IPv6=on\n",
                             "IPv6Request=separate\n"}) {
        EXPECT_NE(saved.find(kept), std::string::npos) << kept;
    }
    for (const char* missing : {"WANIPSource", "WANIPv6Source", "StaticIPv6Address"}) {
        EXPECT_EQ(saved.find(missing), std::string::npos) << missing;
    }
    values = Loaded();
    values.chkZARVOUpdater[2] = false;
    values.cboZARVO[0] = "desec";
    ASSERT_TRUE(SaveDialogValues(values, message)) << message.text;
    EXPECT_NE(Stored().find("IPv4=off\n"), std::string::npos);
    EXPECT_NE(Stored().find("Provider=desec\n"), std::string::npos);
}

TEST_F(DialogCoreTest, ConfirmedShowsPerHostNameTheStoredAddressesOrNone) {
    const std::string wan =
        "[WAN]\nLastIPAdress=84.1.2.3\nLastIPv6Adress=2001:db8::1\nLastIPHost=a.example (u at "
        "s)\nLastUpdate=2026-12-08T02:05:00Z\n[WAN b.example]\nLastIPAdress=84.1.2.4\n";
    struct Case {
        const char* hosts;
        const char* expected;
    };
    const Case cases[] = {
        {"a.example", "a.example: 84.1.2.3, 2001:db8::1, confirmed 2026-12-08T02:05:00Z"},
        {"c.example", "c.example: none confirmed yet"},  // the [WAN] address is a.example's
        {" a.example , b.example,", "a.example: none confirmed yet\nb.example: 84.1.2.4"},
        {"", "No host name is set."},
    };
    Store(wan);
    for (const Case& c : cases) {
        EXPECT_EQ(ConfirmedText(c.hosts, ini_.string()), c.expected) << c.hosts;
    }
}

TEST_F(DialogCoreTest, SaveThatCannotWriteSaysWhere) {
    const fs::path missing = dir_ / "missing";
    platform::OverrideProgramLocation(platform::ProgramLocation{missing.string(), "configure"});
    DialogValues values;
    values.Text[4] = "10";
    values.Text[5] = "5";
    values.Text[11] = "25";
    DialogMessage message;
    EXPECT_FALSE(SaveDialogValues(values, message));
    EXPECT_EQ(message.kind, DialogMessage::Kind::Warning);
    EXPECT_EQ(message.text, "The settings were not saved.\n\n\"" +
                                (missing / "zarvoupdater.ini").string() + "\" cannot be written.");
}

TEST(DialogCore, PastedLineBreaksAreDroppedAndTheCursorKeepsItsPlace) {
    struct Case {
        std::u16string text;
        std::size_t cursor;
        std::u16string expected;
        std::size_t expectedCursor;
    };
    const Case cases[] = {
        {u"as3\r\ncret\nb", 10, u"as3cretb", 7},  // pasted between "a" and "b"
        {u"s3cret\n", 7, u"s3cret", 6},
        {u"\r\n\r\n", 4, u"", 0},
        {u"a\nb", 0, u"ab", 0},  // breaks behind the cursor leave it
        {std::u16string(u"p\0w", 3), 3, u"pw", 2},
        {u"plain", 5, u"plain", 5},
    };
    for (const Case& c : cases) {
        const SingleLineText single = DropLineBreaks(c.text, c.cursor);
        EXPECT_EQ(single.text, c.expected);
        EXPECT_EQ(single.cursor, c.expectedCursor);
    }
}

}  // namespace
