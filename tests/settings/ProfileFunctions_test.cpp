#include "settings/ProfileFunctions.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using settings::GetPrivateProfileString;
using settings::WritePrivateProfileString;
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
    std::string LockPath() const { return dir_ + "/.zarvoupdater.ini.lock"; }
    // The lock file stays once made; every other entry counts.
    std::size_t Entries() const {
        return std::count_if(fs::directory_iterator(dir_), fs::directory_iterator(),
                             [&](const fs::directory_entry& e) { return e.path() != LockPath(); });
    }
    std::string Read(const std::string& section, const std::string& key, std::size_t size = 256) {
        return GetPrivateProfileString(section, key, "dflt", size, path_);
    }

    std::string dir_;
    std::string path_;
};

const std::string kLongLine(1 << 20, 'x');

std::string Repeat(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}

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
        {"[A]\nK=\"\"\n", "A", "K", ""},
        {"[A]\nK=''\n", "A", "K", ""},
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
        {"[A]\nK=a\xc3\xa9"
         "b",
         "A", "K", "a\xc3\xa9", 3},
        {"[A]\nK=\xe2\x82\xac\xe2\x82\xac", "A", "K", "\xe2\x82\xac\xe2\x82\xac", 3},
        {"[A]\nK=" + Repeat("\xc3\xa4", 130), "A", "K", Repeat("\xc3\xa4", 130)},
        {"[A]\nK=" + Repeat("\xc3\xa4", 300), "A", "K", Repeat("\xc3\xa4", 255)},
        {"[A]\nK=" + std::string(254, 'x') + "\xf0\x9f\x98\x80\xf0\x9f\x98\x80", "A", "K",
         std::string(254, 'x') + "\xf0\x9f\x98\x80"},
        {"[A]\nK=" + std::string(9, '\x80'), "A", "K", std::string(4, '\x80'), 5},
        {"[A]\nK=\xe2\x82\xe2\x82\xac", "A", "K", "\xe2\x82\xe2\x82\xac", 4},
        {"[A]\nK=\xe2\x82\xe2\x82\xac", "A", "K", "\xe2\x82", 3},
        {"[A]\nK=v\r", "A", "K", "v"},
        {"[A]\r\nK=\" pw \"\r", "A", "K", " pw "},
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
        {"[WAN]\nX=1\r", "WAN", "K", "2", "[WAN]\nX=1\r\nK=2\n"},
        {"[W]\r\nX=\" pw \"\r", "W", "K", "2", "[W]\r\nX=\" pw \"\r\nK=2\r\n"},
        {"[W]\nK=1\r", "W", "K", "2", "[W]\nK=2\r"},
        {"[W]\nX=1\r", "A", "K", "2", "[W]\nX=1\r\n\n[A]\nK=2\n"},
        {"[W]\nA=1\n\n[W]\nK=old\n", "W", "K", "new", "[W]\nA=1\nK=new\n\n[W]\nK=old\n"},
        {"[A]\n", "A", "Password", " pass\" ", "[A]\nPassword=\" pass\" \"\n"},
        {"[A]\n", "A", "Password", "secret ", "[A]\nPassword=\"secret \"\n"},
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

TEST_F(ProfileFunctionsTest, Write_FileIsAlwaysPrivateAndKeepsOwnerGroupAndLink) {
    struct stat info {};
    ASSERT_TRUE(WritePrivateProfileString("A", "K", "1", path_));
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    chmod(path_.c_str(), 0644);
    uid_t owner = geteuid() == 0 ? 65534 : geteuid();
    gid_t group = geteuid() == 0 ? 65534 : getegid();
    ASSERT_EQ(chown(path_.c_str(), owner, group), 0);
    fs::rename(path_, dir_ + "/real.ini");
    fs::create_symlink("real.ini", path_);
    std::vector<std::string> notices;
    settings::SetProfileNotices([&](const std::string& line) { notices.push_back(line); });
    ASSERT_TRUE(WritePrivateProfileString("A", "K", "2", path_));
    ASSERT_TRUE(WritePrivateProfileString("A", "K", "3", path_));
    settings::SetProfileNotices(nullptr);
    EXPECT_EQ(notices,
              std::vector<std::string>{
                  "The settings file was open to other users; its mode is now 0600."})
        << "once, by the write that narrowed it";
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "the passwords are no longer readable by all";
    EXPECT_EQ(info.st_uid, owner);
    EXPECT_EQ(info.st_gid, group);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(Slurp(), "[A]\nK=3\n");
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

// A FIFO would block an open for reading until a writer comes, and its reads until data comes.
TEST_F(ProfileFunctionsTest, ReadAndWrite_RefuseWhatIsNoRegularFileWithoutWaiting) {
    fs::create_directory(dir_ + "/sub");
    const std::vector<std::function<void()>> places = {
        [&] { mkfifo(path_.c_str(), 0600); }, [&] { fs::create_symlink("/dev/zero", path_); },
        [&] { fs::create_directory(path_); }};
    for (const auto& place : places) {
        fs::remove_all(path_);
        place();
        pid_t child = fork();
        if (child == 0) {
            alarm(5);
            bool refused =
                Read("A", "K") == "dflt" && !WritePrivateProfileString("A", "K", "1", path_);
            _exit(refused ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

// Runs `hold` on a descriptor of `path` in a child that keeps it until ended; gives its PID once
// the child holds it.
pid_t HoldInChild(const std::string& path, int flags) {
    int ready[2];
    if (pipe(ready) != 0) {
        return -1;
    }
    pid_t child = fork();
    if (child == 0) {
        alarm(60);
        int fd = open(path.c_str(), flags);
        char ok = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        ssize_t written = write(ready[1], &ok, 1);
        pause();
        _exit(written == 1 ? 0 : 1);
    }
    close(ready[1]);
    char ok = 'n';
    ssize_t count = read(ready[0], &ok, 1);
    close(ready[0]);
    if (count != 1 || ok != 'y') {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

void EndChild(pid_t child) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST_F(ProfileFunctionsTest, Write_LockIsPrivateAndABusyLockFailsTheWriteWithinTheBound) {
    ASSERT_TRUE(WritePrivateProfileString("A", "K", "1", path_));
    struct stat info {};
    ASSERT_EQ(stat(LockPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    if (geteuid() == 0) {  // another user cannot open it, even in a directory open to all
        chmod(dir_.c_str(), 0755);
        EXPECT_EQ(WriteUnprivileged([&] { return open(LockPath().c_str(), O_RDONLY) >= 0; }), 1);
    }

    // What every user can open, the directory, no longer holds writers up.
    pid_t holder = HoldInChild(dir_, O_RDONLY | O_DIRECTORY);
    ASSERT_GT(holder, 0);
    EXPECT_TRUE(WritePrivateProfileString("A", "K", "2", path_));
    EndChild(holder);

    holder = HoldInChild(LockPath(), O_RDONLY);
    ASSERT_GT(holder, 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WritePrivateProfileString("A", "K", "3", path_));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(800));
    EXPECT_LT(waited, std::chrono::seconds(3));
    EXPECT_EQ(Slurp(), "[A]\nK=2\n");
    EndChild(holder);
    EXPECT_TRUE(WritePrivateProfileString("A", "K", "4", path_));
}

// The slow step of a write is the fsync, so that is where a kill most likely lands. The child dies
// there for certain: a seccomp filter kills it at its first fsync.
void WriteKilledAtFsync(const std::string& path) {
    pid_t child = fork();
    if (child == 0) {
        sock_filter rules[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                               BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fsync, 0, 1),
                               BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
                               BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
        sock_fprog program{static_cast<unsigned short>(std::size(rules)), rules};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
            prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0) {
            WritePrivateProfileString("A", "K", "new", path);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS) << status;
}

// A writer killed before its rename leaves its temporary file, a copy of the passwords; it must
// be no more readable than a new settings file, and the next writer clears it away.
TEST_F(ProfileFunctionsTest, Write_KilledWriterLeavesAPrivateCopyThatTheNextWriteRemoves) {
    Put("[A]\nK=old\n");
    chmod(path_.c_str(), 0644);
    std::ofstream(dir_ + "/.zarvoupdater.ini.Ab12Z9") << "from an earlier run";
    std::ofstream(dir_ + "/.zarvoupdater.ini.Ab12Z9.keep") << "not ours";
    std::ofstream(dir_ + "/zarvoupdater.ini.Ab12Z9") << "not ours";
    WriteKilledAtFsync(path_);
    int leftovers = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        const std::string name = entry.path().filename();
        struct stat info {};
        if (name.size() == 24 && name.starts_with(".zarvoupdater.ini.") &&
            name != ".zarvoupdater.ini.lock" && stat(entry.path().c_str(), &info) == 0) {
            ++leftovers;
            EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
        }
    }
    EXPECT_EQ(leftovers, 1);  // the earlier one went before the killed writer made its own
    EXPECT_EQ(Slurp(), "[A]\nK=old\n");
    EXPECT_TRUE(WritePrivateProfileString("A", "K", "last", path_));
    EXPECT_EQ(Entries(), 3u);  // the file and the two that only look like leftovers
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
