#include "service/ProviderAnswer.h"

#include <array>
#include <string_view>

#include "report/modLogfile.h"
#include "report/modReport.h"
#include "settings/INIFile.h"
#include "settings/modFunktions.h"
#include "settings/modPublic.h"

namespace {

enum class MailRule { Success, AlwaysError, ErrorWithinLimit };

struct AnswerRow {
    std::string_view code;
    MailRule rule;
    // Rows that name the host join AppSettings.Host between the two texts.
    std::string_view messageBeforeHost;
    std::string_view messageAfterHost;
};

// The order matters: the first code found anywhere in the answer decides. The asterisk of the
// last code is an ordinary character.
constexpr std::array<AnswerRow, 12> AnswerTable{{
    {"good", MailRule::Success, "Your hostname has been updated.", ""},
    {"nochg", MailRule::AlwaysError,
     "This update was identical to your last update, so no changes were made to your hostname "
     "configuration.",
     ""},
    {"nofqdn", MailRule::ErrorWithinLimit, "The hostname you specified ", " was not valid."},
    {"nohost", MailRule::ErrorWithinLimit, "The specified hostname ", " does not exist."},
    {"yours", MailRule::ErrorWithinLimit, "The specified hostname ", " does not belong to you."},
    {"badauth", MailRule::ErrorWithinLimit, "Invalid username or password. Authentication failed.",
     ""},
    {"badagent", MailRule::ErrorWithinLimit, "Your user agent is not valid.", ""},
    {"badsys", MailRule::ErrorWithinLimit, "The system parameter is invalid.", ""},
    {"dnserr", MailRule::ErrorWithinLimit,
     "A DNS error has occurred on our end. We apologize for any inconvenience.", ""},
    {"disabled", MailRule::ErrorWithinLimit, "Account Disabled or Locked.", ""},
    {"911", MailRule::ErrorWithinLimit,
     "A critical error has occurred on our end. We apologize for any inconvenience.", ""},
    {"Maximum*update", MailRule::ErrorWithinLimit, "The maximum update possibility is achieved.",
     ""},
}};

constexpr AnswerRow UnknownResponse{"", MailRule::ErrorWithinLimit, "Unknown response", ""};

const AnswerRow& RowOf(const std::string& answer) {
    for (const AnswerRow& row : AnswerTable) {
        if (answer.find(row.code) != std::string::npos) {
            return row;
        }
    }
    return UnknownResponse;
}

std::string MessageOf(const AnswerRow& row) {
    std::string message(row.messageBeforeHost);
    if (!row.messageAfterHost.empty()) {
        message += AppSettings.Host;
        message += row.messageAfterHost;
    }
    return message;
}

void StoreSentAddresses(const SentAddresses& sent) {
    if (sent.IPv4) {
        WriteIniValue("WAN", "LastIPAdress", *sent.IPv4, SettingsFilePath());
    }
    if (sent.IPv6) {
        WriteIniValue("WAN", "LastIPv6Adress", *sent.IPv6, SettingsFilePath());
    }
}

}  // namespace

std::string WithoutLineBreaks(std::string text) {
    auto removeAll = [&text](const std::string& what) {
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
            text.erase(at, what.size());
        }
    };
    removeAll("\r\n");
    removeAll("\r");
    removeAll("\n");
    return text;
}

void HandleProviderAnswer(const std::string& answer, const SentAddresses& sent,
                          const std::string& startTime, const std::string& endTime,
                          const SendMailFunction& sendMail) {
    const AnswerRow& row = RowOf(answer);
    MailRule rule = row.rule;
    std::string message = MessageOf(row);

    WriteLog(message, 4);
    if (rule == MailRule::Success) {
        StoreSentAddresses(sent);
    }
    if (rule != MailRule::ErrorWithinLimit) {
        CurrentErrorCounter = 0;
    }

    if (!AppSettings.Email) {
        return;
    }
    bool mailed =
        rule != MailRule::ErrorWithinLimit || CurrentErrorCounter <= AppSettings.ErrorCounter;
    if (!mailed) {
        return;
    }
    bool isError = rule != MailRule::Success;
    std::string report = isError ? BuildErrorReport(message, sent, startTime, endTime)
                                 : BuildSuccessReport(message, sent, startTime, endTime);
    sendMail(AppSettings.Email_Server, AppSettings.Email_Receiver, report,
             AppSettings.Email_Username, AppSettings.Email_Password, isError);
}
