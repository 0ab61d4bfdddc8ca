#include "service/ProviderAnswer.h"

#include <array>
#include <optional>
#include <string_view>

#include "platform/Text.h"
#include "report/modLogfile.h"
#include "report/modReport.h"
#include "settings/INIFile.h"
#include "settings/modFunktions.h"
#include "settings/modPublic.h"

namespace {

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

std::string MessageOf(const AnswerRow& row, const std::string& name) {
    std::string message(row.messageBeforeHost);
    if (!row.messageAfterHost.empty()) {
        message += name;
        message += row.messageAfterHost;
    }
    return message;
}

// Providers write their codes at the start of a line; the same word inside a page (a proxy's
// abuse@ address) must not stop the updates.
bool BeginsALine(std::string_view answer, std::string_view code) {
    while (!answer.empty()) {
        const std::size_t end = answer.find_first_of("\r\n");
        std::string_view line = platform::TrimBlanks(answer.substr(0, end));
        if (line.starts_with(code) || (line.starts_with('!') && line.substr(1).starts_with(code))) {
            return true;
        }
        answer.remove_prefix(end == std::string_view::npos ? answer.size() : end + 1);
    }
    return false;
}

bool ConcernsTheAccount(std::string_view code) {
    return code == "badauth" || code == "disabled" || code == "badagent" || code == "!donator";
}

// What the stored address was confirmed for; the password stays out of the file. Cut as the
// load cuts it, so that long settings still match what was stored for them.
std::string ConfirmedFor(const std::string& name) {
    return AsReadBack(name + " (" + AppSettings.Username + " at " + AppSettings.ZARVOServer + ")");
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

std::vector<std::string> AnswersPerName(const std::string& answer, std::size_t names) {
    if (names == 1) {
        return {answer};
    }
    std::vector<std::string> lines;
    std::string_view rest = answer;
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("\r\n");
        lines.emplace_back(rest.substr(0, end));
        const bool crlf =
            rest.substr(end == std::string_view::npos ? rest.size() : end).starts_with("\r\n");
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + (crlf ? 2 : 1));
    }
    while (!lines.empty() && platform::TrimBlanks(lines.back()).empty()) {
        lines.pop_back();
    }
    if (lines.size() == 1) {
        return std::vector<std::string>(names, lines.front());
    }
    lines.resize(names);
    return lines;
}

namespace {

bool IsConfirmedAs(const std::string& address, const std::string& stored,
                   const ConfirmedHost& host) {
    // A file written before the host was kept beside the address: the address alone decides.
    return !address.empty() && address == stored &&
           (host.LastIPHost.empty() || host.LastIPHost == ConfirmedFor(host.name));
}

}  // namespace

bool IsConfirmedAddress(const std::string& address, const ConfirmedHost& host) {
    return IsConfirmedAs(address, host.LastIPAdress, host);
}

bool IsConfirmedIPv6Address(const std::string& address, const ConfirmedHost& host) {
    return IsConfirmedAs(address, host.LastIPv6Adress, host);
}

AnswerOutcome HandleProviderAnswer(const std::string& answer, ConfirmedHost& host,
                                   std::size_t names, const SentAddresses& sent,
                                   const std::string& now, CycleReport& report) {
    const AnswerRow& row = RowOf(WithoutLineBreaks(answer));
    std::string message = MessageOf(row, host.name);
    if (names > 1) {
        message = host.name + ": " + message;
    }
    WriteLog(message, 4);
    // "nochg" confirms as "good" does: sending the same address again gets the host blocked.
    if (row.effect == AnswerEffect::Confirms) {
        host = WriteConfirmedHost(host, {sent.IPv4, sent.IPv6, ConfirmedFor(host.name), now}, names,
                                  SettingsFilePath());
    }
    AnswerOutcome outcome{row.effect, std::string(row.code), ConcernsTheAccount(row.code)};
    if (outcome.effect == AnswerEffect::NeedsUser && !BeginsALine(answer, row.code)) {
        outcome.effect = AnswerEffect::None;
    }
    if (row.rule != MailRule::ErrorWithinLimit) {
        CurrentErrorCounter = 0;
    }
    report.Add(message, row.rule, sent);
    return outcome;
}

void CycleReport::Add(const std::string& message, MailRule rule, const SentAddresses& sent) {
    message_ += (any_ ? "<br>" : "") + message;
    any_ = true;
    error_ = error_ || rule != MailRule::Success;
    outsideLimit_ = outsideLimit_ || rule != MailRule::ErrorWithinLimit;
    sent_.IPv4 = sent_.IPv4 ? sent_.IPv4 : sent.IPv4;
    sent_.IPv6 = sent_.IPv6 ? sent_.IPv6 : sent.IPv6;
}

void CycleReport::Send(const std::string& startTime, const std::string& endTime,
                       const SendMailFunction& sendMail) const {
    if (!any_ || !AppSettings.Email ||
        !(outsideLimit_ || CurrentErrorCounter <= AppSettings.ErrorCounter)) {
        return;
    }
    std::string text = error_ ? BuildErrorReport(message_, sent_, startTime, endTime)
                              : BuildSuccessReport(message_, sent_, startTime, endTime);
    sendMail(AppSettings.Email_Server, AppSettings.Email_Receiver, text, AppSettings.Email_Username,
             AppSettings.Email_Password, error_);
}
