#include "platform/ProgramInfo.h"

#include <windows.h>

#include <string_view>

#include "platform/Text.h"

namespace platform {

std::string ExecutablePath() {
    static const std::string path = [] {
        // MAX_PATH is no limit for a program started through a "\\?\" path; grow until it fits.
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            DWORD length =
                GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (length == 0) {
                return std::string();
            }
            if (length < buffer.size()) {
                buffer.resize(length);
                return FromWide(buffer);
            }
            if (buffer.size() >= 32768) {
                return std::string();
            }
            buffer.resize(buffer.size() * 2);
        }
    }();
    return path;
}

ProgramLocation ExecutableLocation() {
    const std::string path = ExecutablePath();
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        return {};
    }
    std::string name = path.substr(separator + 1);
    if (std::size_t dot = name.rfind('.'); dot != std::string::npos && dot != 0) {
        name.resize(dot);
    }
    return {path.substr(0, separator), name};
}

std::string SystemName() {
    return "Windows";
}

}  // namespace platform
