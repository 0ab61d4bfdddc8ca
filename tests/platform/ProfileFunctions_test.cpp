#include "platform/ProfileFunctions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;
namespace fs = std::filesystem;

namespace {

class ProfileFunctionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (Base() / "zarvo-profile-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/zarvoupdater.ini";
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0700);
        fs::remove_all(dir_);
    }

    virtual fs::path Base() const { return fs::temp_directory_path(); }
    void Put(const std::string& content) { std::ofstream(path_, std::ios::binary) << content; }
    std::string Slurp() const {
        std::ostringstream content;
        content << std::ifstream(path_, std::ios::binary).rdbuf();
        return content.str();
    }
    std::size_t Entries() const {
        return std::distance(fs::directory_iterator(dir_), fs::directory_iterator());
    }
    std::string Read(const std::string& section, const std::string& key, std::size_t size = 256) {
        return GetPrivateProfileString(section, key, "dflt", size, path_);
    }

    std::string dir_;
    std::string path_;
};

const std::string kLongLine(1 << 20, 'x');

TEST_F(ProfileFunctionsTest, Read_FollowsTheWindowsRulesAndNeverCutsACharacter) {
    struct Case {
        std::string content, section, key, expected;
        std::size_t size = 256;
    };
    const Case cases[] = {
        {"[Application]\r\nInterval=15\r\n", "Application", "Interval", "15"},
        {"[APPLICATION]\ninterval=15\n", "application", "INTERVAL", "15"},
        {"  [ A ]  \n\t K  =  15 \t\n", " A ", "K ", "15"},
        {"[A]\nK=\" x \"\n", "A", "K", " x "},
        {"[A]\nK='x'\n", "A", "K", "x"},
        {"[A]\nK=\"\"x\"\"\n", "A", "K", "\"x\""},
        {"[A]\nK=\"x'\n", "A", "K", "\"x'"},
        {"[A]\nK=\n", "A", "K", ""},
        {"[A]\nK=a=b\n", "A", "K", "a=b"},
        {"[A]\nK=1\nK=2\n", "A", "K", "1"},
        {"[A]\nX=1\n[B]\n[A]\nK=2\n", "A", "K", "dflt"},
        {"K=1\n[A]\nK\n", "A", "K", "dflt"},
        {"[A]\n[B\nK=1", "a", "K", "1"},
        {std::string("[A]\n\0\0=x\nK=2\0junk\n", 18), "A", "K", "2"},
        {"\xff\xfe[\x01\n\x80=\x82\n[A]\n" + kLongLine + "\nK=3\n", "A", "K", "3"},
        {"[A]\nK=" + kLongLine, "A", "K", std::string(255, 'x')},
        {"[A]\nK=a\xc3\xa9", "A", "K", "a", 3},
        {"[A]\nK=\xe2\x82\xac\xe2\x82\xac", "A", "K", "\xe2\x82\xac", 5},
        {"[A]\nK=" + std::string(9, '\x80'), "A", "K", std::string(4, '\x80'), 5},
        {"", "A", "K", "dflt"},
        {"", "A", "K", "dfl", 4},
        {"[A]\nK=abc", "A", "K", "", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 40));
        Put(c.content);
        EXPECT_EQ(Read(c.section, c.key, c.size), c.expected);
    }
    fs::remove(path_);
    EXPECT_EQ(Read("A", "K"), "dflt");
    EXPECT_EQ(Entries(), 0u);
}

TEST_F(ProfileFunctionsTest, Write_ChangesOnlyTheOneKeyInTheFilesLineEndings) {
    const std::string junk = std::string("\xff\x00[broken\n", 9) + kLongLine + "\n=\nno end";
    struct Case {
        std::optional<std::string> before;
        std::string section, key, value, after;
    };
    const Case cases[] = {
        {std::nullopt, "WAN", "LastIPAdress", "1.2.3.4", "[WAN]\nLastIPAdress=1.2.3.4\n"},
        {"; note\n[application]\n  interval = 10 \njunk\nBackups=3\n", "Application", "Interval",
         "15", "; note\n[application]\n  interval = 15\njunk\nBackups=3\n"},
        {"[A]\r\nX=1\r\n[B]\r\nY=2\r\n", "A", "Email", "on",
         "[A]\r\nX=1\r\nEmail=on\r\n[B]\r\nY=2\r\n"},
        {"[A]\r\nX=1\r\n", "WAN", "K", "5", "[A]\r\nX=1\r\n\r\n[WAN]\r\nK=5\r\n"},
        {"[WAN]\nK=1", "WAN", "K", "2", "[WAN]\nK=2"},
        {"\xEF\xBB\xBF[WAN]\r\nK=1\r\n", "WAN", "K", "2", "\xEF\xBB\xBF[WAN]\r\nK=2\r\n"},
        {"[WAN]\nX=1", "WAN", "K", "2", "[WAN]\nX=1\nK=2\n"},
        {"[W]\nA=1\n\n[W]\nK=old\n", "W", "K", "new", "[W]\nA=1\nK=new\n\n[W]\nK=old\n"},
        {"[A]\n", "A", "Password", " pass\" ", "[A]\nPassword=\" pass\" \"\n"},
        {junk, "WAN", "K", "9", junk + "\n\n[WAN]\nK=9\n"},
        {"[WAN]\n" + junk + "\n", "wan", "K", "v", "[WAN]\nK=v\n" + junk + "\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.after.substr(0, 60));
        fs::remove(path_);
        if (c.before) {
            Put(*c.before);
        }
        EXPECT_TRUE(WritePrivateProfileString(c.section, c.key, c.value, path_));
        EXPECT_EQ(Slurp(), c.after);
        EXPECT_EQ(Read(c.section, c.key), c.value);
        EXPECT_EQ(Entries(), 1u);
    }
}

TEST_F(ProfileFunctionsTest, Write_RefusesWhatWouldNotReadBackAsTheOneKey) {
    Put("[A]\nK=1\n");
    const std::vector<std::vector<std::string>> refused = {
        {"A", "K", "1\n[B]"}, {"A", "K", "1\r"}, {"A", "K", std::string("1\0", 2)},
        {"A", "K=2", "1"},    {"A", "[K]", "1"}, {"A]", "K", "1"},
        {"", "K", "1"},       {"A", " ", "1"}};
    for (const auto& r : refused) {
        EXPECT_FALSE(WritePrivateProfileString(r[0], r[1], r[2], path_)) << r[0] << "/" << r[1];
    }
    EXPECT_EQ(Slurp(), "[A]\nK=1\n");
}

TEST_F(ProfileFunctionsTest, Write_NewFileIsPrivateAndExistingFileKeepsModeOwnerAndLink) {
    struct stat info {};
    ASSERT_TRUE(WritePrivateProfileString("A", "K", "1", path_));
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    chmod(path_.c_str(), 0640);
    uid_t owner = geteuid() == 0 ? 65534 : geteuid();
    ASSERT_EQ(chown(path_.c_str(), owner, -1), 0);
    fs::rename(path_, dir_ + "/real.ini");
    fs::create_symlink("real.ini", path_);
    ASSERT_TRUE(WritePrivateProfileString("A", "K", "2", path_));
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_uid, owner);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(Slurp(), "[A]\nK=2\n");
}

// Root ignores file permissions, so a root test run writes from a child that is "nobody".
int WriteUnprivileged(const std::function<bool()>& write) {
    if (geteuid() != 0) {
        return write() ? 0 : 1;
    }
    pid_t child = fork();
    if (child == 0) {
        _exit(setgid(65534) != 0 || setuid(65534) != 0 ? 2 : write() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

TEST_F(ProfileFunctionsTest, Write_UnwritablePlaceFailsAndLeavesEverythingAsItWas) {
    const std::pair<mode_t, mode_t> dirAndFileModes[] = {{0555, 0666}, {0555, 0}, {0777, 0444}};
    for (const auto& [dirMode, fileMode] : dirAndFileModes) {
        chmod(dir_.c_str(), 0700);
        fs::remove(path_);
        if (fileMode != 0) {
            Put("[A]\r\nK=1\r\n");
            chmod(path_.c_str(), fileMode);
        }
        chmod(dir_.c_str(), dirMode);
        EXPECT_EQ(
            WriteUnprivileged([&] { return WritePrivateProfileString("A", "K", "2", path_); }), 1);
        EXPECT_EQ(Entries(), fileMode != 0 ? 1u : 0u);
        EXPECT_EQ(Slurp(), fileMode != 0 ? "[A]\r\nK=1\r\n" : "");
    }
}

// The test is about locking, not about the disk, where thousands of fsyncs take many seconds.
class ProfileFunctionsInMemoryTest : public ProfileFunctionsTest {
  protected:
    fs::path Base() const override {
        return fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
    }
};

// Each writer adds a key of its own with every write, so a write that works from a stale copy of
// the file loses keys for good.
TEST_F(ProfileFunctionsInMemoryTest, Write_TwoProcessesLoseNoKeyAndReadersSeeWholeFiles) {
    constexpr int kWrites = 1000;
    Put("[Application]\nFiller=kept\n");
    std::vector<pid_t> children;
    for (const char* name : {"First", "Second"}) {
        pid_t child = fork();
        if (child == 0) {
            bool written = true;
            for (int i = 1; i <= kWrites && written; ++i) {
                written = WritePrivateProfileString("WAN", name + std::to_string(i), "x", path_);
            }
            _exit(written ? 0 : 1);
        }
        children.push_back(child);
    }
    for (int reads = 0; reads < 2000 && Read("WAN", "Second1000") != "x"; ++reads) {
        ASSERT_EQ(Read("Application", "Filler"), "kept");
        usleep(500);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string content = Slurp();
    int missing = 0;
    for (int i = 1; i <= kWrites; ++i) {
        for (const char* name : {"First", "Second"}) {
            missing += content.find("\n" + (name + std::to_string(i)) + "=x\n") == content.npos;
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(Entries(), 1u);
}

}  // namespace
