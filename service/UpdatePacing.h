#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include <vector>

#include "service/ProviderAnswer.h"
#include "settings/ConfirmedHosts.h"

/// Keeps the update requests within what providers allow before they block an account: none
/// after an answer only the user can mend until the account settings change, none for 1,800
/// ticks after trouble on the provider's end, GET for a server that refuses POST. Nothing of it
/// is stored: a start of the service begins afresh.
class UpdatePacing {
  public:
    /// Counts ticks of the service's timer, the ones slept through as well.
    void TicksPassed(std::int64_t ticks) { ticksSinceTrouble_ += ticks; }
    /// Takes in the answer for host name `name` to an update request sent with the current
    /// settings: an answer about the account holds all its names, any other that one name.
    void Answered(const AnswerOutcome& outcome, const std::string& name);
    /// Why no request may go out with the current settings (the account is held, or each of its
    /// names) and what ends it; empty when some may. A hold ends here once the settings differ
    /// from those that got the answer.
    std::string HoldReason();
    /// Why no request may go out for `name`; empty when it may.
    std::string HoldReason(const std::string& name);
    /// `names` (indices into `hosts`) without the held ones; each hold's line goes to the log
    /// once, as `told` records.
    std::vector<std::size_t> NotHeld(const std::vector<std::size_t>& names,
                                     const std::vector<ConfirmedHost>& hosts,
                                     std::set<std::string>& told);
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
    struct Hold {
        Account account;
        std::string code;
        std::string Text(const std::string& host) const;
    };
    /// Drops the holds whose settings changed.
    void ForgetMended();

    std::optional<Hold> accountHold_;
    std::map<std::string, Hold> nameHolds_;
    std::optional<std::string> troubleCode_;
    std::int64_t ticksSinceTrouble_ = 0;
    std::set<std::string> getOnly_;
};
