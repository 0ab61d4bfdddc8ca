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

void SetProfileNotices(std::function<void(const std::string&)> receiver) {
    Receiver() = std::move(receiver);
}

void ProfileNotice(const std::string& line) {
    if (Receiver()) {
        Receiver()(line);
    }
}

}  // namespace settings
