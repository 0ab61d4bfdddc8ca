#include "configure/DialogSettings.h"

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
    // of the service installed beside it, whatever the dialog itself is called.
    return directory + "/zarvoupdater.ini";
}

void LoadDialogSettings(AppSettingsRecord& record) {
    LoadSettingsInto(record, DialogIniPath, SettingsKeys::Dialog);
}
