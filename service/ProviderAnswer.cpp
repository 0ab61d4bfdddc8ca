#include "service/ProviderAnswer.h"

#include <array>
#include <optional>
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
    AnswerEffect effect = AnswerEffect::None;
};

constexpr std::string_view UnknownMessage = "Unknown response";

// The order matters: the first code found anywhere in the answer decides. The asterisk of
// "Maximum*update" is an ordinary character. The protocol's own codes for answers that need the
// user come after the table the service always had, "notfqdn" with the message of "nofqdn".
constexpr std::array<AnswerRow, 16> AnswerTable{{
    {"good", MailRule::Success, "Your hostname has been updated.", "", AnswerEffect::Confirms},
    {"nochg", MailRule::AlwaysError,
     "This update was identical to your last update, so no changes were made to your hostname "
     "configuration.",
     "", AnswerEffect::Confirms},
    {"nofqdn", MailRule::ErrorWithinLimit, "The hostname you specified ", " was not valid.",
     AnswerEffect::NeedsUser},
    {"nohost", MailRule::ErrorWithinLimit, "The specified hostname ", " does not exist.",
     AnswerEffect::NeedsUser},
    {"yours", MailRule::ErrorWithinLimit, "The specified hostname ", " does not belong to you.",
     AnswerEffect::NeedsUser},
    {"badauth", MailRule::ErrorWithinLimit, "Invalid username or password. Authentication failed.",
     "", AnswerEffect::NeedsUser},
    {"badagent", MailRule::ErrorWithinLimit, "Your user agent is not valid.", "",
     AnswerEffect::NeedsUser},
    {"badsys", MailRule::ErrorWithinLimit, "The system parameter is invalid.", "",
     AnswerEffect::NeedsUser},
    {"dnserr", MailRule::ErrorWithinLimit,
     "A DNS error has occurred on our end. We apologize for any inconvenience.", "",
     AnswerEffect::ServerTrouble},
    {"disabled", MailRule::ErrorWithinLimit, "Account Disabled or Locked.", "",
     AnswerEffect::NeedsUser},
    {"911", MailRule::ErrorWithinLimit,
     "A critical error has occurred on our end. We apologize for any inconvenience.", "",
     AnswerEffect::ServerTrouble},
    {"Maximum*update", MailRule::ErrorWithinLimit, "The maximum update possibility is achieved.",
     ""},
    {"notfqdn", MailRule::ErrorWithinLimit, "The hostname you specified ", " was not valid.",
     AnswerEffect::NeedsUser},
    {"abuse", MailRule::ErrorWithinLimit, UnknownMessage, "", AnswerEffect::NeedsUser},
    {"numhost", MailRule::ErrorWithinLimit, UnknownMessage, "", AnswerEffect::NeedsUser},
    {"!donator", MailRule::ErrorWithinLimit, UnknownMessage, "", AnswerEffect::NeedsUser},
}};

constexpr AnswerRow UnknownResponse{"", MailRule::ErrorWithinLimit, UnknownMessage, ""};

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

// What the stored address was confirmed for; the password stays out of the file's [WAN]. Cut as
// the load cuts it, so that long settings still match what was stored for them.
std::string ConfirmedFor() {
    return AsReadBack(AppSettings.Host + " (" + AppSettings.Username + " at " +
                      AppSettings.ZARVOServer + ")");
}

// The host follows the addresses, so that a failed write never pairs the current host with an
// older address. When the host changed, a stored address of a family this update left out was
// confirmed for the old one: it is dropped, and goes out again with the next cycle.
void StoreSentAddresses(const SentAddresses& sent) {
    const bool otherHost = AppSettings.LastIPHost != ConfirmedFor();
    bool stored = true;
    auto store = [&](const char* key, const std::optional<std::string>& address,
                     const std::string& before) {
        if (address || (otherHost && !before.empty())) {
            stored = WriteIniValue("WAN", key, address.value_or(""), SettingsFilePath()) && stored;
        }
    };
    store("LastIPAdress", sent.IPv4, AppSettings.LastIPAdress);
    store("LastIPv6Adress", sent.IPv6, AppSettings.LastIPv6Adress);
    if (stored) {
        WriteIniValue("WAN", "LastIPHost", ConfirmedFor(), SettingsFilePath());
        // A second update of the same cycle (one per family) must not drop this one's address.
        AppSettings.LastIPHost = ConfirmedFor();
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

namespace {

bool IsConfirmedAs(const std::string& address, const std::string& stored) {
    // A file written before the host was kept beside the address: the address alone decides.
    return !address.empty() && address == stored &&
           (AppSettings.LastIPHost.empty() || AppSettings.LastIPHost == ConfirmedFor());
}

}  // namespace

bool IsConfirmedAddress(const std::string& address) {
    return IsConfirmedAs(address, AppSettings.LastIPAdress);
}

bool IsConfirmedIPv6Address(const std::string& address) {
    return IsConfirmedAs(address, AppSettings.LastIPv6Adress);
}

AnswerOutcome HandleProviderAnswer(const std::string& answer, const SentAddresses& sent,
                                   const std::string& startTime, const std::string& endTime,
                                   const SendMailFunction& sendMail) {
    const AnswerRow& row = RowOf(answer);
    MailRule rule = row.rule;
    std::string message = MessageOf(row);

    WriteLog(message, 4);
    // "nochg" confirms as "good" does: sending the same address again gets the host blocked.
    if (row.effect == AnswerEffect::Confirms) {
        StoreSentAddresses(sent);
    }
    AnswerOutcome outcome{row.effect, std::string(row.code)};
    if (rule != MailRule::ErrorWithinLimit) {
        CurrentErrorCounter = 0;
    }

    if (!AppSettings.Email) {
        return outcome;
    }
    bool mailed =
        rule != MailRule::ErrorWithinLimit || CurrentErrorCounter <= AppSettings.ErrorCounter;
    if (!mailed) {
        return outcome;
    }
    bool isError = rule != MailRule::Success;
    std::string report = isError ? BuildErrorReport(message, sent, startTime, endTime)
                                 : BuildSuccessReport(message, sent, startTime, endTime);
    sendMail(AppSettings.Email_Server, AppSettings.Email_Receiver, report,
             AppSettings.Email_Username, AppSettings.Email_Password, isError);
    return outcome;
}
