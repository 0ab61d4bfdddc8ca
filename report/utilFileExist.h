#pragma once

#include <string>

/// True when a find-first-file search finds `sPath`: a file or a directory, "*" and "?" matching
/// as wildcards.
bool FileExists(const std::string& sPath);
