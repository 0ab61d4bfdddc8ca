#include "report/utilDirExist.h"

#include "platform/FileSystem.h"

bool DirExists(const std::string& sPath) {
    return platform::IsDirectory(sPath);
}
