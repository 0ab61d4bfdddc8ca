#include "settings/ProfileFunctions.h"

#include <utility>

namespace settings {

namespace {

// Set once at the start, before any writer runs.
std::function<void(const std::string&)>& Receiver() {
    static std::function<void(const std::string&)> receiver;
    return receiver;
}

}  // namespace

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path) {
    return WritePrivateProfileEntries(section, {{key, value}}, path);
}

void SetProfileNotices(std::function<void(const std::string&)> receiver) {
    Receiver() = std::move(receiver);
}

void ProfileNotice(const std::string& line) {
    if (Receiver()) {
        Receiver()(line);
    }
}

}  // namespace settings
