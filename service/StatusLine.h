#pragma once

#include <exception>
#include <string>

/// What the service's status line rests on, gathered by the form.
struct StatusFacts {
    bool paused = false;
    /// Set when the last load failed: why.
    std::string settingsProblem;
    std::string providerProblem;
    std::string held;
    /// Set when the settings file is missing: its path.
    std::string missingSettingsFile;
    bool sentReadableCredentials = false;
    std::string routerNote;
};

/// The status line: the one condition that stops the updates, else "Running" with what the
/// user should still know.
std::string StatusText(const StatusFacts& facts);

/// Whether the provider's credentials go to an http:// server, which anyone on the way can read.
bool CredentialsCrossReadable();

/// Says so, for the log and the status line.
extern const std::string ReadableCredentials;

/// The status line of a failed load: its error and, for a bad value, where it stands.
std::string SettingsProblem(const std::exception& caught);
