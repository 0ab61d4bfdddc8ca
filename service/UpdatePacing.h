#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "service/ProviderAnswer.h"

/// Keeps the update requests within what providers allow before they block an account: none
/// after an answer only the user can mend until the account settings change, none for 1,800
/// ticks after trouble on the provider's end, GET for a server that refuses POST. Nothing of it
/// is stored: a start of the service begins afresh.
class UpdatePacing {
  public:
    /// Counts ticks of the service's timer, the ones slept through as well.
    void TicksPassed(std::int64_t ticks) { ticksSinceTrouble_ += ticks; }
    /// Takes in the answer to an update request sent with the current settings.
    void Answered(const AnswerOutcome& outcome);
    /// Why no request may go out with the current settings and what ends it; empty when they
    /// may. The hold ends here once the settings differ from those that got the answer.
    std::string HoldReason();
    /// Why the update request has to wait and how long; empty when it may go out.
    std::string WaitReason() const;
    /// The method of update requests to the current server: "post", or "get" once it refused it.
    std::string UpdateMethod() const;
    /// The current server answered a POST with "405 Method Not Allowed".
    void PostRefused();

  private:
    struct Account {
        std::string host, username, password, server;
        bool operator==(const Account&) const = default;
    };
    static Account CurrentAccount();

    std::optional<Account> heldFor_;
    std::string heldCode_;
    std::optional<std::string> troubleCode_;
    std::int64_t ticksSinceTrouble_ = 0;
    std::set<std::string> getOnly_;
};
