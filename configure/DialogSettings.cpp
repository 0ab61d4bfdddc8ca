#include "configure/DialogSettings.h"

#include <filesystem>

#include "platform/ProgramInfo.h"
#include "settings/SettingsFile.h"
#include "settings/modFunktions.h"

std::string DialogIniPath() {
    // The service's name rather than the dialog's own: the dialog edits the file of the service
    // installed beside it, whatever the dialog itself is called. The separator is the platform's
    // own, so that the path in a message reads as the user knows it.
    return SettingsFilePath({platform::ProgramDirectory(), ServiceProgramName()},
                            static_cast<char>(std::filesystem::path::preferred_separator));
}

void LoadDialogSettings(AppSettingsRecord& record) {
    LoadSettingsInto(record, DialogIniPath, SettingsKeys::Dialog);
}
