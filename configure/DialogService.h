#pragma once

#include <optional>
#include <string>

#include "configure/DialogCore.h"
#include "configure/DialogLayout.h"

/// Fills the controls of the third frame from the file at `path`, and `values.confirmed` with
/// what the service last confirmed for the host names in `values.Text[2]`.
void LoadServiceFrame(DialogValues& values, const std::string& path);

/// What a save writes for `control` of the third frame: its value when the user changed it, the
/// text the file held when not, nothing when the file did not hold the key either.
std::optional<std::string> ServiceFrameText(const DialogValues& values,
                                            const DialogControl& control);

/// A control's value as the file stores it: "on" or "off" for a check box.
std::string ValueOf(const DialogValues& values, const DialogControl& control);

/// Per host name of `hosts` (names separated by commas) one line: the addresses the service last
/// confirmed for it and when, or that none is confirmed yet; from the service's [WAN] sections.
std::string ConfirmedText(const std::string& hosts, const std::string& path);
