#include "service/StatusLine.h"

#include "platform/RuntimeError.h"
#include "platform/Text.h"
#include "settings/modFunktions.h"
#include "settings/modPublic.h"

std::string StatusText(const StatusFacts& facts) {
    std::string running = "Running";
    // Until the settings say https, whether or not an update went out since.
    if (facts.sentReadableCredentials && CredentialsCrossReadable()) {
        running += "; " + ReadableCredentials;
    }
    if (!facts.routerNote.empty()) {
        running += "; " + facts.routerNote;
    }
    return facts.paused                     ? "Paused"
           : !facts.settingsProblem.empty() ? facts.settingsProblem
           : !facts.providerProblem.empty() ? facts.providerProblem
           : !facts.held.empty()            ? facts.held
           : !facts.missingSettingsFile.empty()
               ? "settings file " + facts.missingSettingsFile + " not found; defaults in use"
               : running;
}

bool CredentialsCrossReadable() {
    return platform::EqualsIgnoringCase(AppSettings.ZARVOServer.substr(0, 7), "http://") &&
           !(AppSettings.Username.empty() && AppSettings.Password.empty());
}

const std::string ReadableCredentials =
    "the provider password crosses the network readable: ZARVOServer is http://, not https://";

std::string SettingsProblem(const std::exception& caught) {
    std::string where;
    if (auto* conversion = dynamic_cast<const SettingsConversionError*>(&caught)) {
        where = " at [" + conversion->Section() + "] " + conversion->Key();
    }
    return "settings not loaded: " + platform::errors::AsRuntimeError(caught).Text() + where;
}
