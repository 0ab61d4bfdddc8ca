#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "configure/DialogCore.h"
#include "tests/configure/DialogCoreTest.h"

namespace {

// std::filesystem::exists throws for these, and the program used to end in std::terminate.
// Opening a FIFO would wait for a writer that never comes.
TEST_F(DialogCoreTest, SettingsPathThatIsALinkLoopOrAFifoIsRefusedWithAMessage) {
    const std::string message = "The settings file " + ini_.string() +
                                " cannot be read. Start the dialog as a user who may read it, "
                                "for example with sudo.";
    std::filesystem::create_symlink(ini_, ini_);
    DialogValues values;
    DialogMessage refusal;
    EXPECT_FALSE(LoadDialogValues(values, refusal));
    EXPECT_EQ(refusal.text, message);

    std::filesystem::remove(ini_);
    ASSERT_EQ(::mkfifo(ini_.c_str(), 0600), 0);
    refusal = {};
    EXPECT_FALSE(LoadDialogValues(values, refusal));
    EXPECT_EQ(refusal.text, message);
}

}  // namespace
