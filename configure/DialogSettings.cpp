#include "configure/DialogSettings.h"

#include "platform/ProgramInfo.h"
#include "settings/modFunktions.h"

std::string DialogIniPath() {
    // The name is fixed rather than taken from the executable: the dialog must edit the file
    // of the service installed beside it, whatever the dialog itself is called.
    return platform::ProgramDirectory() + "/zarvoupdater.ini";
}

void LoadDialogSettings(AppSettingsRecord& record) {
    LoadSettingsInto(record, DialogIniPath, SettingsKeys::Dialog);
}

std::string LoadFailureText(const platform::RuntimeError& error) {
    std::string text = "The settings in \"" + DialogIniPath() + "\" cannot be loaded.\n\n";
    if (const auto* conversion = dynamic_cast<const SettingsConversionError*>(&error)) {
        text += "The key \"" + conversion->Key() + "\" in section [" + conversion->Section() +
                "] has the value \"" + conversion->Value() + "\": ";
    }
    return text + error.Text();
}
