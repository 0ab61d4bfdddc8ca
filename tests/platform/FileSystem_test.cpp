#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

// UTF-8 on both platforms, as the program passes paths around.
std::string Utf8(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class FileSystem : public ::testing::Test {
  protected:
    void SetUp() override {
        // Blanks and a letter beyond ASCII, and unique beside other test runs on the machine.
        dir_ = fs::temp_directory_path() / fs::path(u8"zarvo fs \u00FC ");
        dir_ += std::to_string(std::random_device()());
        fs::remove_all(dir_);
        ASSERT_TRUE(fs::create_directories(dir_));
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string In(const std::string& name) const { return Utf8(dir_) + "/" + name; }
    std::string Content(const std::string& name) const {
        std::ifstream file(dir_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    fs::path dir_;
};

TEST_F(FileSystem, FindFirstFileKnowsOnlyStarAndQuestionMarkAsWildcards) {
    std::ofstream(dir_ / "zarvoupdater.log") << "x";
    std::ofstream(dir_ / "x[1].txt") << "x";
    struct Case {
        std::string pattern;
        bool matches;
    };
    const Case cases[] = {
        {"*.log", true},
        {"zarvoupdater.???", true},
        {"x[1].txt", true},
        {"x[1]*", true},
        {"x1.txt", false},
        {"*.ini", false},
        {"zarvoupdater.lo", false},
        {"nothing*", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::FindFirstFileMatches(In(c.pattern)), c.matches) << c.pattern;
    }
    EXPECT_FALSE(platform::FindFirstFileMatches(""));
    EXPECT_FALSE(platform::FindFirstFileMatches(In("missing dir/*")));
}

TEST_F(FileSystem, ADirectoryIsMadeOnceAndRecognised) {
    const std::string log = In("log");
    EXPECT_FALSE(platform::IsDirectory(log));
    EXPECT_TRUE(platform::MakeDirectory(log));
    EXPECT_FALSE(platform::MakeDirectory(log)) << "exists already";
    EXPECT_TRUE(platform::IsDirectory(log));
    EXPECT_FALSE(platform::FileSize(log)) << "a directory has no file size";
    EXPECT_FALSE(platform::MakeDirectory(In("missing/log"))) << "one level only";
}

TEST_F(FileSystem, RecordsAreAppendedWholeAndAnEmptyOneOnlyCreatesTheFile) {
    const std::string file = In("zarvoupdater.log");
    EXPECT_FALSE(platform::FileSize(file));
    EXPECT_TRUE(platform::AppendRecord(file, ""));
    EXPECT_EQ(platform::FileSize(file), 0);
    EXPECT_TRUE(platform::AppendRecord(file, "first\r\n"));
    EXPECT_TRUE(platform::AppendRecord(file, "second\r\n"));
    EXPECT_EQ(Content("zarvoupdater.log"), "first\r\nsecond\r\n");
    EXPECT_EQ(platform::FileSize(file), 15);
    EXPECT_FALSE(platform::AppendRecord(In("missing/zarvoupdater.log"), "x"))
        << "no directory to hold it";
}

TEST_F(FileSystem, RenameReplacesTheTargetAndRemoveDeletes) {
    std::ofstream(dir_ / "zarvoupdater.log") << "new";
    std::ofstream(dir_ / "zarvoupdater1.log") << "old";
    EXPECT_TRUE(platform::RenameFile(In("zarvoupdater.log"), In("zarvoupdater1.log")));
    EXPECT_EQ(Content("zarvoupdater1.log"), "new");
    EXPECT_FALSE(fs::exists(dir_ / "zarvoupdater.log"));
    EXPECT_FALSE(platform::RenameFile(In("zarvoupdater.log"), In("zarvoupdater2.log")));
    EXPECT_TRUE(platform::RemoveFile(In("zarvoupdater1.log")));
    EXPECT_FALSE(platform::RemoveFile(In("zarvoupdater1.log")));
}

}  // namespace
