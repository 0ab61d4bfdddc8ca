#pragma once

#include <functional>
#include <string>
#include <vector>

#include "report/modReport.h"
#include "settings/ConfirmedHosts.h"

/// Sends one mail with the given server, receiver, text, login and kind; frmmain.SendMail.
using SendMailFunction = std::function<void(
    const std::string& SMTPHost, const std::string& Recipient, const std::string& MsgText,
    const std::string& UserName, const std::string& UserPassword, bool isError)>;

/// What an answer asks of the update requests that follow it.
enum class AnswerEffect {
    None,
    /// The provider holds the sent address: it is stored, and not sent again.
    Confirms,
    /// Only the user can mend it (credentials, host, account): repeating the request gets the
    /// account blocked.
    NeedsUser,
    /// Trouble on the provider's end, which asks for a pause before the next request.
    ServerTrouble,
};

struct AnswerOutcome {
    AnswerEffect effect;
    /// The code that decided, as the table lists it; empty for an unknown response.
    std::string code;
    /// The answer concerns the account, so every name of it, not the one name.
    bool accountWide = false;
};

/// When an answer is mailed: always as success, always as error, or as error within the limit.
enum class MailRule { Success, AlwaysError, ErrorWithinLimit };

/// The messages of a cycle's answers, for its one report mail.
class CycleReport {
  public:
    void Add(const std::string& message, MailRule rule, const SentAddresses& sent);
    /// Mails the report, when there is one and the rules ask for it.
    void Send(const std::string& startTime, const std::string& endTime,
              const SendMailFunction& sendMail) const;

  private:
    std::string message_;
    bool any_ = false, error_ = false, outsideLimit_ = false;
    SentAddresses sent_;
};

/// The provider's answer as one line: its line breaks (CRLF, CR, LF) removed.
std::string WithoutLineBreaks(std::string text);

/// Each name's part of the answer to a request that carried `names` names: the whole answer for
/// one; line k for name k, a single line for all, and nothing for a name without its line.
std::vector<std::string> AnswersPerName(const std::string& answer, std::size_t names);

/// Classifies one name's answer and carries it out: the log line (after "<name>: " when the
/// settings name several hosts), on "good" and "nochg" the address of each family the update
/// sent with the time `now`, the error count and the report's entry.
AnswerOutcome HandleProviderAnswer(const std::string& answer, ConfirmedHost& host,
                                   std::size_t names, const SentAddresses& sent,
                                   const std::string& now, CycleReport& report);

/// Whether `address` is the one last confirmed by the provider for the host, account and server.
bool IsConfirmedAddress(const std::string& address, const ConfirmedHost& host);
/// The same for the IPv6 address, which shares the host with the IPv4 one.
bool IsConfirmedIPv6Address(const std::string& address, const ConfirmedHost& host);
