#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// The fuzzer's bytes cut into `count` fields at NUL bytes; the last field takes the rest, NULs
/// included, and missing fields are empty.
inline std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size,
                                       std::size_t count) {
    std::vector<std::string> fields(count);
    std::string rest(reinterpret_cast<const char*>(data), size);
    for (std::size_t i = 0; i + 1 < count; ++i) {
        std::size_t end = rest.find('\0');
        if (end == std::string::npos) {
            fields[i] = rest;
            return fields;
        }
        fields[i] = rest.substr(0, end);
        rest.erase(0, end + 1);
    }
    fields[count - 1] = rest;
    return fields;
}

/// A directory of the run's own, in memory where possible, removed when the run ends.
const std::string& ScratchDirectory();

/// Stops the run with a report of what went wrong, as a sanitizer finding would.
[[noreturn]] void Fail(const char* what);
