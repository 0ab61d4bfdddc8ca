#include "report/MailSender.h"

#include <exception>

#include "platform/EventLoop.h"
#include "platform/RuntimeError.h"
#include "report/modLogfile.h"
#include "settings/modPublic.h"

namespace {

// The instance is shared by every mail of the program's life, so each call sets every value
// again: nothing of an earlier mail may leak into this one.
void Send(net::mail::MailComponent& mail, const std::string& SMTPHost, const std::string& Recipient,
          const std::string& MsgText, const std::string& UserName, const std::string& UserPassword,
          bool isError) {
    mail.SetTlsMode(0);
    mail.SetLoginMode(1);
    mail.SetRecipientDelimiter(";");
    mail.SetServer(SMTPHost);
    mail.SetFrom(AppSettings.Email_Sender);
    mail.SetFromDisplayName(AppSettings.Email_Sender);
    mail.SetRecipient(Recipient);
    mail.SetRecipientDisplayName(Recipient);
    mail.SetSubject(isError ? "ZARVOUpdater ERROR" : "ZARVOUpdater Success");
    mail.SetMessage(MsgText);
    mail.SetAsHtml(true);
    mail.SetReplyTo("");
    mail.SetTransferEncoding(0);
    mail.SetPriority(isError ? 1 : 3);
    mail.SetReceiptRequest(0);
    mail.SetValidateAddresses(true);
    mail.SetDefaultPort(0);
    mail.SetUserName(UserName);
    mail.SetPassword(UserPassword);
    mail.SetMaxRecipients(100);
    mail.Send();
}

}  // namespace

void SendMail(net::mail::MailComponent* poSendMail, const std::string& SMTPHost,
              const std::string& Recipient, const std::string& MsgText, const std::string& UserName,
              const std::string& UserPassword, bool isError) {
    // Whatever goes wrong costs this one mail only: the update cycle that asked for it goes on.
    std::string failure;
    try {
        if (poSendMail == nullptr) {
            throw platform::errors::ObjectVariableNotSetError();
        }
        Send(*poSendMail, SMTPHost, Recipient, MsgText, UserName, UserPassword, isError);
    } catch (const std::exception& error) {
        failure = platform::errors::AsRuntimeError(error).Text();
    } catch (...) {
        failure = platform::RuntimeError(platform::errors::Internal, "Internal error").Text();
    }
    // A stop request cancels the send; the program writes nothing on its way out.
    if (!failure.empty() && !platform::StopPending()) {
        WriteLog(failure, 1);
    }
}
