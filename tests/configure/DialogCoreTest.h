#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "configure/DialogCore.h"
#include "platform/ProgramInfo.h"
#include "support/TempProgramDirectory.h"

/// A program directory of its own for each test, with the dialog pointed at it.
class DialogCoreTest : public ::testing::Test {
  protected:
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

    TempProgramDirectory program_{"configure", "dialog-core-"};
    const std::filesystem::path dir_ = program_.Path();
    const std::filesystem::path ini_ = dir_ / "zarvoupdater.ini";
};
