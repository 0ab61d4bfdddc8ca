#pragma once

#include <cstdint>
#include <string>

namespace service::host {

/// Writes one event-log entry to the journal (syslog when there is no journal), on Windows to the
/// Application log under the source "ZARVOUpdater"; with `mirror`
/// the entry also goes to standard error as "event type=<type> id=<id>: <text>".
void WriteEventLogEntry(std::int16_t type, std::int32_t id, const std::string& text, bool mirror);

}  // namespace service::host
