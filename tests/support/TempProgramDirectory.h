#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/ProgramInfo.h"

/// A fresh program directory for one test, with the program's location pointed at it while the
/// object lives; removed with everything in it afterwards. Its name starts with `prefix` and
/// carries the test's name.
class TempProgramDirectory {
  public:
    explicit TempProgramDirectory(const std::string& programName = "zarvoupdater",
                                  const std::string& prefix = "zarvo-")
        : path_(std::filesystem::temp_directory_path() / (prefix + UniqueName())) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        platform::OverrideProgramLocation(platform::ProgramLocation{path_.string(), programName});
    }
    ~TempProgramDirectory() {
        platform::OverrideProgramLocation(std::nullopt);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempProgramDirectory(const TempProgramDirectory&) = delete;
    TempProgramDirectory& operator=(const TempProgramDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    /// Writes a file as private as the programs keep the settings file.
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
        std::filesystem::permissions(
            path_ / name, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    std::string Read(const std::string& name) const {
        std::ifstream file(path_ / name, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

  private:
    static std::string UniqueName() {
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        // Parameterised tests are named "Name/0".
        for (char& c : test) {
            c = c == '/' ? '-' : c;
        }
        return std::to_string(std::random_device()()) + "-" + test;
    }

    std::filesystem::path path_;
};
