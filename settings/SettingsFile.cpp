#include "settings/SettingsFile.h"

#include "platform/RuntimeError.h"

std::string ServiceProgramName() {
    return ZARVO_SERVICE_PROGRAM;
}

std::string SettingsFilePath(const platform::ProgramLocation& program, char separator) {
    if (program.directory.empty()) {
        throw platform::errors::PathFileAccessError();
    }
    return program.directory + separator + program.name + ".ini";
}

std::string SettingsFilePath() {
    return SettingsFilePath(platform::CurrentProgramLocation());
}
