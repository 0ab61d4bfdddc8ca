#pragma once

#include <string>

/// True when `sPath` is a directory whose attributes can be read; false on any error.
bool DirExists(const std::string& sPath);
