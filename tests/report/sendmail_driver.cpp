// Test driver: sends mails as the service does, through its mail transport and so through one
// real MailComponent for all of them.
//
// usage: sendmail_driver PROGRAM_DIR SENDER {SERVER RECIPIENT BODY USER PASSWORD ERROR}...
//   BODY is "@file" (the file's bytes) or "report:MESSAGE" (the report for the mail's kind);
//   every body sent is also written to PROGRAM_DIR/body<n>.html. ERROR is 0 or 1.
// The log goes to PROGRAM_DIR/log/zarvoupdater.log; the CA certificates to trust come from
// ZARVO_CA_FILE.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "platform/ProgramInfo.h"
#include "report/modReport.h"
#include "service/ServicePorts.h"
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
}  // namespace

int main(int argc, char** argv) {
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
    SmtpMailTransport transport;
    for (int i = 3, n = 1; i < argc; i += 6, ++n) {
        const bool error = std::string(argv[i + 5]) == "1";
        const std::string body = Body(argv[i + 2], error);
        std::ofstream(directory + "/body" + std::to_string(n) + ".html", std::ios::binary) << body;
        transport.SendMail(argv[i], argv[i + 1], body, argv[i + 3], argv[i + 4], error);
    }
    return 0;
}
