#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "configure/DialogCore.h"
#include "support/TempProgramDirectory.h"

/// A program directory of its own for each test, with the dialog pointed at it.
class DialogCoreTest : public ::testing::Test {
  protected:
    void Store(const std::string& text) { program_.Write(kIni, text); }
    std::string Stored() const { return program_.Read(kIni); }
    DialogValues Loaded() {
        DialogValues values;
        DialogMessage message;
        EXPECT_TRUE(LoadDialogValues(values, message)) << message.text;
        return values;
    }

    static constexpr const char* kIni = "zarvoupdater.ini";
    TempProgramDirectory program_{"configure", "dialog-core-"};
    const std::filesystem::path dir_ = program_.Path();
    const std::filesystem::path ini_ = dir_ / kIni;
};
