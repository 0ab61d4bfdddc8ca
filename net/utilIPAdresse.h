#pragma once

#include <string>

/// The first IPv4 address written in `text` as four dot-separated numbers of at most three
/// characters and at most 255 each, exactly as written there; empty when there is none.
std::string ExtractIPAddress(std::string text);
