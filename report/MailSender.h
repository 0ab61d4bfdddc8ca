#pragma once

#include <string>

#include "net/mail/MailComponent.h"

/// Mails one message through `poSendMail` from AppSettings.Email_Sender to `Recipient`; a failure
/// is written to the log as one error line and never reaches the caller.
void SendMail(net::mail::MailComponent* poSendMail, const std::string& SMTPHost,
              const std::string& Recipient, const std::string& MsgText, const std::string& UserName,
              const std::string& UserPassword, bool isError);
