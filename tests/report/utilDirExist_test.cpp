#include "report/utilDirExist.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

TEST(utilDirExist, DirExistsOnlyForDirectoriesAndWithoutWildcards) {
    char name[] = "/tmp/zarvo-direxist-XXXXXX";
    const std::string dir = mkdtemp(name);
    std::filesystem::create_directory(dir + "/log");
    std::ofstream(dir + "/.hidden.log") << "x";
    const struct {
        std::string path;
        bool directory;
    } cases[] = {{"", true},      {"/log", true}, {"/log/", true},    {"/.hidden.log", false},
                 {"/l?g", false}, {"/*", false},  {"/missing", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(DirExists(dir + c.path), c.directory) << c.path;
    }
    std::filesystem::remove_all(dir);
}
