#pragma once

#include <cstdint>
#include <string>

/// Appends one time-stamped line to the program's log file, as AppSettings allows; never fails.
void WriteLog(const std::string& text, std::int32_t level);
