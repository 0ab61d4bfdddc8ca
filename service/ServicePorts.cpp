#include "service/ServicePorts.h"

#include "net/mail/MailComponent.h"
#include "report/MailSender.h"

SmtpMailTransport::SmtpMailTransport() : poSendMail(std::make_unique<net::mail::MailComponent>()) {}

SmtpMailTransport::~SmtpMailTransport() = default;

void SmtpMailTransport::SendMail(const std::string& SMTPHost, const std::string& Recipient,
                                 const std::string& MsgText, const std::string& UserName,
                                 const std::string& UserPassword, bool isError) {
    ::SendMail(poSendMail.get(), SMTPHost, Recipient, MsgText, UserName, UserPassword, isError);
}
