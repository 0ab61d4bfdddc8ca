#include "fuzz/FuzzInput.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// Files written at every input would make the disk, not the code, the limit of the run.
struct Scratch {
    Scratch() {
        std::string pattern = std::filesystem::is_directory("/dev/shm")
                                  ? "/dev/shm/zarvo-fuzz-XXXXXX"
                                  : "/tmp/zarvo-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            Fail("no scratch directory");
        }
        path = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

}  // namespace

const std::string& ScratchDirectory() {
    static const Scratch scratch;
    return scratch.path;
}

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
