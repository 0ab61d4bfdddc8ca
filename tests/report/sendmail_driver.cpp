// Test driver: sends mails through SendMail with a real MailComponent, as the service does.
//
// usage: sendmail_driver [--subject=TEXT] PROGRAM_DIR SENDER
//                        {SERVER RECIPIENT BODY USER PASSWORD ERROR}...
//   BODY is "@file" (the file's bytes) or "report:MESSAGE" (the report for the mail's kind);
//   every body sent is also written to PROGRAM_DIR/body<n>.html. ERROR is 0 or 1.
// With --subject the mails go straight to the component with that subject, and a failure is
// printed on standard error. All mails go through one instance. The log goes to
// PROGRAM_DIR/log/zarvoupdater.log; the CA certificates to trust come from ZARVO_CA_FILE.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "net/mail/MailComponent.h"
#include "platform/ProgramInfo.h"
#include "platform/RuntimeError.h"
#include "report/MailSender.h"
#include "report/modReport.h"
#include "settings/modPublic.h"

namespace {
std::string Body(const std::string& argument, bool error) {
    if (argument.rfind("report:", 0) == 0) {
        const std::string message = argument.substr(7);
        const char* start = "01.02.2025 10:00:00";
        const char* end = "01.02.2025 10:00:05";
        return error ? BuildErrorReport(message, "203.0.113.7", start, end)
                     : BuildSuccessReport(message, "203.0.113.7", start, end);
    }
    std::ifstream file(argument.substr(1), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}
void SendWithSubject(net::mail::MailComponent& mail, const std::string& subject, char** args,
                     const std::string& body) {
    mail.SetServer(args[0]);
    mail.SetFrom(AppSettings.Email_Sender);
    mail.SetRecipient(args[1]);
    mail.SetSubject(subject);
    mail.SetMessage(body);
    mail.SetUserName(args[3]);
    mail.SetPassword(args[4]);
    try {
        mail.Send();
    } catch (const platform::RuntimeError& error) {
        std::cerr << error.Text() << "\n";
    }
}
}  // namespace

int main(int argc, char** argv) {
    std::string subject;
    const bool direct = argc > 1 && std::string(argv[1]).rfind("--subject=", 0) == 0;
    if (direct) {
        subject = std::string(argv[1]).substr(10);
        --argc;
        ++argv;
    }
    if (argc < 9 || (argc - 3) % 6 != 0) {
        std::cerr
            << "usage: sendmail_driver DIR SENDER {SERVER RCPT BODY USER PASSWORD ERROR}...\n";
        return 2;
    }
    const std::string directory = argv[1];
    platform::OverrideProgramLocation(platform::ProgramLocation{directory, "zarvoupdater"});
    AppSettings.IsDebug = true;
    AppSettings.Loglevel = 4;
    AppSettings.LogfileLen = 100000;
    AppSettings.Host = "myhost.zarvo.example";
    AppSettings.Email_Sender = argv[2];
    net::mail::MailComponent poSendMail;
    for (int i = 3, n = 1; i < argc; i += 6, ++n) {
        const bool error = std::string(argv[i + 5]) == "1";
        const std::string body = Body(argv[i + 2], error);
        std::ofstream(directory + "/body" + std::to_string(n) + ".html", std::ios::binary) << body;
        if (direct) {
            SendWithSubject(poSendMail, subject, argv + i, body);
        } else {
            SendMail(&poSendMail, argv[i], argv[i + 1], body, argv[i + 3], argv[i + 4], error);
        }
    }
    return 0;
}
