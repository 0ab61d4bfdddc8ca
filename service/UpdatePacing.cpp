#include "service/UpdatePacing.h"

#include "settings/modPublic.h"

namespace {

// The providers' rules ask for at least 30 minutes after "911" or "dnserr"; counted in ticks,
// like the interval, so that a shorter tick shortens it too.
constexpr std::int64_t TroubleWaitTicks = 30 * 60;

}  // namespace

UpdatePacing::Account UpdatePacing::CurrentAccount() {
    return {AppSettings.Host, AppSettings.Username, AppSettings.Password, AppSettings.ZARVOServer};
}

void UpdatePacing::Answered(const AnswerOutcome& outcome) {
    if (outcome.effect == AnswerEffect::NeedsUser) {
        heldFor_ = CurrentAccount();
        heldCode_ = outcome.code;
    }
    troubleCode_.reset();
    if (outcome.effect == AnswerEffect::ServerTrouble) {
        troubleCode_ = outcome.code;
        ticksSinceTrouble_ = 0;
    }
}

std::string UpdatePacing::HoldReason() {
    if (heldFor_ && *heldFor_ != CurrentAccount()) {
        heldFor_.reset();
    }
    if (!heldFor_) {
        return {};
    }
    return "Updates held: the provider answered \"" + heldCode_ + "\" for " + heldFor_->host +
           "; nothing is sent until Host, Username, Password or ZARVOServer change in the "
           "settings file, or the service is started again.";
}

std::string UpdatePacing::WaitReason() const {
    if (!troubleCode_ || ticksSinceTrouble_ >= TroubleWaitTicks) {
        return {};
    }
    const std::int64_t minutes = (TroubleWaitTicks - ticksSinceTrouble_ + 59) / 60;
    return "Update postponed: the provider answered \"" + *troubleCode_ +
           "\" (trouble on its end); the next update waits at least " + std::to_string(minutes) +
           " more minute(s), until the first check after that.";
}

std::string UpdatePacing::UpdateMethod() const {
    return getOnly_.contains(AppSettings.ZARVOServer) ? "get" : "post";
}

void UpdatePacing::PostRefused() {
    getOnly_.insert(AppSettings.ZARVOServer);
}
