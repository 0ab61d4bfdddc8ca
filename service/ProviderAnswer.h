#pragma once

#include <functional>
#include <string>

#include "report/modReport.h"

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
};

/// The provider's answer as one line: its line breaks (CRLF, CR, LF) removed.
std::string WithoutLineBreaks(std::string text);

/// Classifies the provider's answer to an update request and carries it out: the log line, the
/// stored address of each family the update sent on "good" and "nochg", the error count and the
/// report mail.
AnswerOutcome HandleProviderAnswer(const std::string& answer, const SentAddresses& sent,
                                   const std::string& startTime, const std::string& endTime,
                                   const SendMailFunction& sendMail);

/// Whether `address` is the one last confirmed by the provider for the current host, account
/// and server.
bool IsConfirmedAddress(const std::string& address);
/// The same for the IPv6 address, which shares the host with the IPv4 one.
bool IsConfirmedIPv6Address(const std::string& address);
