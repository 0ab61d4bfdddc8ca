#include "service/UpdatePacing.h"

#include "report/modLogfile.h"
#include "settings/ConfirmedHosts.h"
#include "settings/modPublic.h"

namespace {

// The providers' rules ask for at least 30 minutes after "911" or "dnserr"; counted in ticks,
// like the interval, so that a shorter tick shortens it too.
constexpr std::int64_t TroubleWaitTicks = 30 * 60;

}  // namespace

UpdatePacing::Account UpdatePacing::CurrentAccount() {
    return {AppSettings.Host, AppSettings.Username, AppSettings.Password, AppSettings.ZARVOServer};
}

void UpdatePacing::Answered(const AnswerOutcome& outcome, const std::string& name) {
    if (outcome.effect == AnswerEffect::NeedsUser) {
        Hold hold{CurrentAccount(), outcome.code};
        if (outcome.accountWide) {
            accountHold_ = hold;
        } else {
            nameHolds_.insert_or_assign(name, hold);
        }
    }
    troubleCode_.reset();
    if (outcome.effect == AnswerEffect::ServerTrouble) {
        troubleCode_ = outcome.code;
        ticksSinceTrouble_ = 0;
    }
}

std::string UpdatePacing::Hold::Text(const std::string& host) const {
    return "Updates held: the provider answered \"" + code + "\" for " + host +
           "; nothing is sent until Host, Username, Password or ZARVOServer change in the "
           "settings file, or the service is started again.";
}

void UpdatePacing::ForgetMended() {
    const Account current = CurrentAccount();
    if (accountHold_ && accountHold_->account != current) {
        accountHold_.reset();
    }
    std::erase_if(nameHolds_, [&](const auto& entry) { return entry.second.account != current; });
}

std::string UpdatePacing::HoldReason() {
    ForgetMended();
    if (accountHold_) {
        return accountHold_->Text(accountHold_->account.host);
    }
    std::string first;
    for (const std::string& name : HostNames(AppSettings.Host)) {
        auto held = nameHolds_.find(name);
        if (held == nameHolds_.end()) {
            return {};
        }
        first = first.empty() ? held->second.Text(name) : first;
    }
    return first;
}

std::string UpdatePacing::HoldReason(const std::string& name) {
    ForgetMended();
    if (accountHold_) {
        return accountHold_->Text(accountHold_->account.host);
    }
    auto held = nameHolds_.find(name);
    return held == nameHolds_.end() ? std::string() : held->second.Text(name);
}

std::vector<std::size_t> UpdatePacing::NotHeld(const std::vector<std::size_t>& names,
                                               const std::vector<ConfirmedHost>& hosts,
                                               std::set<std::string>& told) {
    std::vector<std::size_t> free;
    for (std::size_t name : names) {
        if (std::string held = HoldReason(hosts[name].name); held.empty()) {
            free.push_back(name);
        } else if (told.insert(held).second) {
            WriteLog(held, 4);
        }
    }
    return free;
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
