#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "report/utilDirExist.h"
#include "report/utilFileExist.h"

TEST(utilFileExist, FileExistsMatchesWildcardsAndDirectories_DirExistsOnlyDirectories) {
    char name[] = "/tmp/zarvo-exist-XXXXXX";
    const std::string dir = mkdtemp(name);
    std::ofstream(dir + "/.hidden.log") << "x";
    const struct {
        std::string path;
        bool file, directory;
    } cases[] = {{"", true, true},         {"/.hidden.log", true, false},
                 {"/*.log", true, false},  {"/?hidden.log", true, false},
                 {"/*.txt", false, false}, {"/missing", false, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(FileExists(dir + c.path), c.file) << c.path;
        EXPECT_EQ(DirExists(dir + c.path), c.directory) << c.path;
    }
    std::filesystem::remove_all(dir);
}
