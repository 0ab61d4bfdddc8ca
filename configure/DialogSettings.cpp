#include "configure/DialogSettings.h"

#include <filesystem>

#include "platform/ProgramInfo.h"
#include "platform/RuntimeError.h"
#include "settings/modFunktions.h"

std::string DialogIniPath() {
    const std::string directory = platform::ProgramDirectory();
    // Without its own location the dialog would edit "/zarvoupdater.ini", a file no service
    // reads.
    if (directory.empty()) {
        throw platform::errors::PathFileAccessError();
    }
    // The name is fixed rather than taken from the executable: the dialog must edit the file
    // of the service installed beside it, whatever the dialog itself is called. The separator
    // is the platform's own, so that the path in a message reads as the user knows it.
    return directory + static_cast<char>(std::filesystem::path::preferred_separator) +
           "zarvoupdater.ini";
}

void LoadDialogSettings(AppSettingsRecord& record) {
    LoadSettingsInto(record, DialogIniPath, SettingsKeys::Dialog);
}
