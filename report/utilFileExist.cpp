#include "report/utilFileExist.h"

#include "platform/FileSystem.h"

bool FileExists(const std::string& sPath) {
    return platform::FindFirstFileMatches(sPath);
}
