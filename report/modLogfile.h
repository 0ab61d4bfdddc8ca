#pragma once

#include <cstdint>
#include <string>

/// Appends one time-stamped line to the program's log file, as AppSettings allows; never fails.
void WriteLog(const std::string& text, std::int32_t level);
/// Writes `title` framed by two rules of '#', as the cycle marks its start and end.
void WriteBanner(const std::string& title);

/// Moves the numbered backups of the live log file `sLogFile` up by one, dropping the oldest
/// beyond AppSettings.Backups, and turns the live file into backup 1. Skips whatever fails.
void RotateLog(const std::string& sLogFile);
