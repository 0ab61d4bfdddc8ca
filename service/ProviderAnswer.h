#pragma once

#include <functional>
#include <string>

#include "report/modReport.h"

/// Sends one mail with the given server, receiver, text, login and kind; frmmain.SendMail.
using SendMailFunction = std::function<void(
    const std::string& SMTPHost, const std::string& Recipient, const std::string& MsgText,
    const std::string& UserName, const std::string& UserPassword, bool isError)>;

/// The provider's answer as one line: its line breaks (CRLF, CR, LF) removed.
std::string WithoutLineBreaks(std::string text);

/// Classifies the provider's answer to an update request and carries it out: the log line, the
/// stored address of each family the update sent on "good", the error count and the report mail.
void HandleProviderAnswer(const std::string& answer, const SentAddresses& sent,
                          const std::string& startTime, const std::string& endTime,
                          const SendMailFunction& sendMail);
