#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "configure/DialogCore.h"
#include "platform/ProgramInfo.h"

/// A program directory of its own for each test, with the dialog pointed at it.
class DialogCoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("dialog-core-" + std::to_string(std::random_device()()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        ini_ = dir_ / "zarvoupdater.ini";
        platform::OverrideProgramLocation(platform::ProgramLocation{dir_.string(), "configure"});
    }
    void TearDown() override {
        platform::OverrideProgramLocation(std::nullopt);
        std::filesystem::remove_all(dir_);
    }
    void Store(const std::string& text) { std::ofstream(ini_, std::ios::binary) << text; }
    std::string Stored() const {
        std::ifstream file(ini_, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    DialogValues Loaded() {
        DialogValues values;
        DialogMessage message;
        EXPECT_TRUE(LoadDialogValues(values, message)) << message.text;
        return values;
    }

    std::filesystem::path dir_;
    std::filesystem::path ini_;
};
