#include "report/modReport.h"

#include <initializer_list>
#include <string_view>
#include <utility>

#include "platform/ProgramInfo.h"
#include "platform/Version.h"
#include "settings/modPublic.h"

// The report is one long line: mail clients render it the same whatever line breaks they would
// otherwise insert, and the leading blanks inside the fragments are part of the agreed text.
// Values are inserted exactly as given, without escaping, because callers pass plain texts
// (times, an address, the provider's message) that the receiver wants to see unchanged.

namespace {

// The document, one fragment a line; the line breaks of the template are not part of it. The
// fields in braces are filled in, each at most once.
constexpr std::string_view kTemplate = R"(<html>
   <head>
        <title>
            Tovik DDNS Report
        </title>
    </head>
    <body style='font-family:Trebuchet MS; font-size: 10pt; color:#444444;'>
        <span style='font-size:10pt; font weight:normal; font-style:italic; '>Tovik ZARVO Report</span>
        <br>
        <br>
        <span style='font-size:16pt; font weight:normal; font-style:normal; '>Tovik ZARVOUpdater</span>
        <br>
        <span style='font-size:11pt; font weight:normal; font-style:normal; color: {color};'>{status}</span>
        <br>
        <br>
        <table cellspacing='0' style='font-family: Lucida Sans Unicode, Lucida Grande, Sans-Serif; font-size: 12px; margin: 0px; width: 650px; text-align: left; border-collapse: collapse; border-top: 7px solid #E7EAEE; border-bottom: 7px solid #E7EAEE;'>
{rows}
        </table>
        <br><br>
        <br><span style='color:navy; font-weight:bold;'>ZARVO Update gestartet: {start}</span><br>
        <br>
        <br><span style='color:#444444; font-weight:normal;'>ZARVO Update Informationen:</span><br>
        <br><span style='color:{color}; font-weight:normal;'>Meldung von ZARVO: {message}</span>
        <br>
        <br>
        <br><span style='color:navy; font-weight:bold;'>ZARVO Update abgeschlossen: {end}</span><br>
        <br>
        <br>
        <div style='color:#666666'>
{rule}
        <br>
        <span style='font-size:8pt; font weight:normal; font-style:italic; '>Report erstellt von Tovik ZARVOUpdater {support}</span>
        <br>
        <span style='font-size:8pt; font weight:normal; font-style:italic; '>{web}</span>
        </div>
    </body>
</html>)";

constexpr std::string_view kRowTemplate = R"(            <tr style='background: #F8F8FF;'>
                <td style='padding: 5px; background: #F8F8FF; border-right: 1px solid #E7EAEE; border-left: 1px solid #E7EAEE; color: #669;'>{label}
                </td>
                <td style='padding: 5px; background: #F8F8FF; border-right: 1px solid #E7EAEE; border-left: 1px solid #E7EAEE; color: #669;'>
                {value}
                </td>
            </tr>)";

/// The two fragments in which the success and the error report differ.
struct Variant {
    std::string_view color;
    std::string_view status;
};

constexpr Variant kSuccess{"green", "ZARVO Update erfolgreich abgeschlossen"};
constexpr Variant kError{"red", "ZARVO Update Update mit Fehlern abgbrochen"};

// One pass over the template, so that a value that happens to contain "{end}" stays as it is.
std::string Fill(std::string_view text,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> fields) {
    std::string filled;
    while (!text.empty()) {
        const auto open = text.find('{');
        const auto close = text.find('}', open);
        std::string_view literal = text.substr(0, open);
        for (char c : literal) {
            if (c != '\n') {
                filled += c;
            }
        }
        if (open == std::string_view::npos) {
            break;
        }
        const std::string_view name = text.substr(open + 1, close - open - 1);
        for (const auto& [field, value] : fields) {
            if (field == name) {
                filled += value;
            }
        }
        text.remove_prefix(close + 1);
    }
    return filled;
}

std::string Row(std::string_view label, std::string_view value) {
    return Fill(kRowTemplate, {{"label", label}, {"value", value}});
}

// The IPv4 row stays, empty, when no family had an address to send: the provider was then
// left to take the address the request came from.
std::string AddressRows(const SentAddresses& addresses) {
    std::string rows;
    if (addresses.IPv4 || !addresses.IPv6) {
        rows += Row("                WAN IP Adresse:", addresses.IPv4.value_or(""));
    }
    if (addresses.IPv6) {
        rows += Row("                WAN IPv6 Adresse:", *addresses.IPv6);
    }
    return rows;
}

std::string BuildReport(const Variant& variant, const std::string& message,
                        const SentAddresses& addresses, const std::string& startTime,
                        const std::string& endTime) {
    const std::string rows = Row("                ZARVO Update gestartet:", startTime) +
                             Row("                ZARVO Update abgeschlossen:", endTime) +
                             Row("                Programm Version:", platform::ProgramVersion()) +
                             Row("Servername:", AppSettings.Host) + AddressRows(addresses);
    return Fill(kTemplate, {{"color", variant.color},
                            {"status", variant.status},
                            {"rows", rows},
                            {"start", startTime},
                            {"message", message},
                            {"end", endTime},
                            {"rule", std::string(77, '_')},
                            {"support", platform::build::SupportAddress},
                            {"web", platform::build::WebAddress}});
}

}  // namespace

std::string BuildSuccessReport(const std::string& message, const SentAddresses& addresses,
                               const std::string& startTime, const std::string& endTime) {
    return BuildReport(kSuccess, message, addresses, startTime, endTime);
}

std::string BuildErrorReport(const std::string& message, const SentAddresses& addresses,
                             const std::string& startTime, const std::string& endTime) {
    return BuildReport(kError, message, addresses, startTime, endTime);
}
