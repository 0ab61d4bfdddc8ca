#include "report/utilFileExist.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

TEST(utilFileExist, FileExistsMatchesWildcardsAndDirectories) {
    char name[] = "/tmp/zarvo-exist-XXXXXX";
    const std::string dir = mkdtemp(name);
    std::ofstream(dir + "/.hidden.log") << "x";
    const struct {
        std::string path;
        bool exists;
    } cases[] = {{"", true},        {"/.hidden.log", true},
                 {"/*.log", true},  {"/?hidden.log", true},
                 {"/*.txt", false}, {"/missing", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(FileExists(dir + c.path), c.exists) << c.path;
    }
    std::filesystem::remove_all(dir);
}
