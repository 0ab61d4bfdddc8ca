#include "report/modLogfile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

#include "platform/Clock.h"
#include "platform/ProgramInfo.h"
#include "settings/modPublic.h"
#include "support/TempProgramDirectory.h"

namespace fs = std::filesystem;

namespace {
std::string Line(const std::string& text, const char* time = "14:03:59") {
    return std::string("12/06/26 ") + time + " " + text + "\r\n";
}
// A crash or a hang (ended by the alarm) fails the test instead of the whole test program.
bool SurvivesInChild(const std::function<void()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        alarm(10);
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}  // namespace

class modLogfile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::tm local{};  // 6 December 2026, 14:03:59 in whatever time zone the test runs
        local.tm_year = 126, local.tm_mon = 11, local.tm_mday = 6, local.tm_hour = 14;
        local.tm_min = 3, local.tm_sec = 59, local.tm_isdst = -1;
        now_ = std::chrono::system_clock::from_time_t(std::mktime(&local));
        platform::OverrideClock([this] { return now_; });
        std::setlocale(LC_ALL, "C");
        AppSettings = AppSettingsRecord{};
        AppSettings.IsDebug = true, AppSettings.Loglevel = 4;
        AppSettings.LogfileLen = 10000, AppSettings.Backups = 10;
    }
    void TearDown() override { platform::OverrideClock({}); }
    std::string Log(const std::string& name = "zarvoupdater.log") const {
        return dir_ + "/log/" + name;
    }
    std::string Read(const std::string& name = "zarvoupdater.log") const {
        std::ostringstream text;
        text << std::ifstream(Log(name), std::ios::binary).rdbuf();
        return fs::exists(Log(name)) ? text.str() : "(none)";
    }
    void Put(const std::string& name, const std::string& text) const {
        fs::create_directories(dir_ + "/log");
        std::ofstream(Log(name), std::ios::binary) << text;
    }

    // A dot and brackets in the program directory: neither may confuse the backup names.
    TempProgramDirectory program_{"zarvoupdater", "zarvo.dir[1]-"};
    const std::string dir_ = program_.Path().string();
    platform::TimePoint now_;
};

TEST_F(modLogfile, WriteLog_WithoutIsDebugCreatesNothing) {
    AppSettings.IsDebug = false;
    WriteLog("text", 1);
    EXPECT_FALSE(fs::exists(dir_ + "/log"));
}

TEST_F(modLogfile, WriteLog_CreatesDirectoryAndFileButWritesOnlyAdmittedLevels) {
    const struct {
        std::int16_t loglevel;
        std::int32_t level;
        bool written;
    } cases[] = {{1, 1, true},  {1, 0, false}, {1, 4, false}, {2, 2, true},  {2, 3, false},
                 {3, 3, true},  {3, 4, false}, {4, 1, true},  {4, 4, true},  {4, 5, false},
                 {0, 1, false}, {5, 1, false}, {5, 4, false}, {-1, 1, false}};
    for (const auto& c : cases) {
        fs::remove_all(dir_ + "/log");  // a missing or deleted directory is created again
        AppSettings.Loglevel = c.loglevel;
        WriteLog("text", c.level);
        EXPECT_EQ(Read(), c.written ? Line("text") : "") << c.loglevel << "/" << c.level;
    }
}

TEST_F(modLogfile, WriteLog_EachCallAppendsDateTimeAndTextAsGivenWithCrLf) {
    const std::string texts[] = {"Read INI File",
                                 "",
                                 "cr\rlf\nend",
                                 std::string("nul\0in", 6),
                                 "bad \xff\xfe\xc3 utf-8",
                                 std::string(70000, 'x')};
    std::string expected;
    for (const auto& text : texts) {
        WriteLog(text, 4);
        expected += Line(text);
    }
    now_ += std::chrono::seconds(1);
    WriteLog("[13] Type mismatch", 1);
    EXPECT_EQ(Read(), expected + Line("[13] Type mismatch", "14:04:00"));
}

TEST_F(modLogfile, WriteLog_RotatesOnlyAFileLongerThanTheLimit) {
    AppSettings.LogfileLen = 1;
    Put("zarvoupdater.log", std::string(1000, 'a'));
    WriteLog("at limit", 4);
    EXPECT_EQ(Read("zarvoupdater1.log"), "(none)");
    Put("zarvoupdater.log", std::string(1001, 'b'));
    WriteLog("over limit", 4);
    EXPECT_EQ(Read("zarvoupdater1.log") + Read(), std::string(1001, 'b') + Line("over limit"));
    AppSettings.LogfileLen = 2147483647;  // the limit must not wrap around to a negative number
    WriteLog("huge limit", 4);
    EXPECT_EQ(Read(), Line("over limit") + Line("huge limit"));
}

TEST_F(modLogfile, WriteLog_LogfileLenZeroShiftsTheBackupsAtEveryLine) {
    AppSettings.LogfileLen = 0;
    const struct {
        std::int16_t backups;
        int writes;
        std::string files;  // live file, then backups 1, 2, ... and the first one missing
    } cases[] = {{0, 3, Line("1") + Line("2") + Line("3") + "(none)"},
                 {1, 3, Line("3") + Line("2") + "(none)"},
                 {3, 5, Line("5") + Line("4") + Line("3") + Line("2") + "(none)"}};
    for (const auto& c : cases) {
        fs::remove_all(dir_ + "/log");
        AppSettings.Backups = c.backups;
        for (int i = 1; i <= c.writes; ++i) {
            WriteLog(std::to_string(i), 4);
        }
        std::string files = Read();
        for (int i = 1; i <= std::max<int>(c.backups, 0) + 1; ++i) {
            files += Read("zarvoupdater" + std::to_string(i) + ".log");
        }
        EXPECT_EQ(files, c.files) << "Backups " << c.backups;
    }
}

TEST_F(modLogfile, RotateLog_GapAtTwoDropsTheOldestAndMovesTheOthersUp) {
    AppSettings.Backups = 3;
    Put("zarvoupdater.log", "live;");
    Put("zarvoupdater1.log", "one;");
    Put("zarvoupdater3.log", "three;");
    RotateLog(Log());
    EXPECT_EQ(
        Read() + Read("zarvoupdater1.log") + Read("zarvoupdater2.log") + Read("zarvoupdater3.log"),
        "(none)live;one;(none)");
}

TEST_F(modLogfile, WriteLog_LosesLinesButNeverFailsOnAHostileFileSystem) {
    AppSettings.LogfileLen = 0;
    std::ofstream(dir_ + "/log") << "a file where the directory belongs";
    EXPECT_TRUE(SurvivesInChild([] { WriteLog("lost", 1); }));
    fs::remove(dir_ + "/log");

    fs::create_directories(Log());  // a directory is not rotated like a log file
    EXPECT_TRUE(SurvivesInChild([] { WriteLog("lost", 1); }));
    EXPECT_EQ(Read("zarvoupdater1.log"), "(none)");
    fs::remove(Log());

    mkfifo(Log().c_str(), 0644);  // nobody reads it: opening it must not wait for a reader
    EXPECT_TRUE(SurvivesInChild([] { WriteLog("lost", 1); }));
    fs::remove(Log());

    AppSettings.LogfileLen = 10000;
    EXPECT_TRUE(SurvivesInChild([] {  // a full disk: room for three lines and a third
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        for (int i = 0; i < 5; ++i) {
            WriteLog("0123456789", 1);
        }
    }));
    EXPECT_EQ(Read(), Line("0123456789") + Line("0123456789") + Line("0123456789"));
}

// A -debug run beside the service writes the same log. With backups enough for everything, every
// line of both writers is in exactly one file, however their rotations meet.
TEST_F(modLogfile, WriteLog_TwoProcessesRotatingLoseAndDoubleNoLine) {
    constexpr int kLines = 1500;
    AppSettings.LogfileLen = 1;
    AppSettings.Backups = 100;
    std::vector<pid_t> writers;
    for (const char* name : {"A", "B"}) {
        pid_t child = fork();
        if (child == 0) {
            for (int i = 0; i < kLines; ++i) {
                WriteLog(name + std::to_string(i), 4);
            }
            _exit(0);
        }
        writers.push_back(child);
    }
    for (pid_t child : writers) {
        ASSERT_EQ(waitpid(child, nullptr, 0), child);
    }
    std::map<std::string, int> seen;
    std::string lines = Read();
    for (int i = 1; i <= AppSettings.Backups; ++i) {
        lines += Read("zarvoupdater" + std::to_string(i) + ".log");
    }
    std::istringstream stream(lines);
    for (std::string line; std::getline(stream, line);) {
        ++seen[line.substr(line.rfind(' ') + 1)];
    }
    int lost = 0, doubled = 0;
    for (const char* name : {"A", "B"}) {
        for (int i = 0; i < kLines; ++i) {
            int count = seen[name + std::to_string(i) + "\r"];
            lost += count == 0;
            doubled += count > 1;
        }
    }
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(doubled, 0);
    EXPECT_EQ(Read("zarvoupdater100.log"), "(none)");  // the backups did hold everything
}
