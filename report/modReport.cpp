#include "report/modReport.h"

#include "platform/ProgramInfo.h"
#include "platform/Version.h"
#include "settings/modPublic.h"

// The report is one long line: mail clients render it the same whatever line breaks they would
// otherwise insert, and the leading blanks inside the fragments are part of the agreed text.
// Values are inserted exactly as given, without escaping, because callers pass plain texts
// (times, an address, the provider's message) that the receiver wants to see unchanged.

namespace {

constexpr const char* kBreak = "        <br>";
constexpr const char* kRowOpen = "            <tr style='background: #F8F8FF;'>";
constexpr const char* kCellOpen =
    "                <td style='padding: 5px; background: #F8F8FF; border-right: 1px solid "
    "#E7EAEE; border-left: 1px solid #E7EAEE; color: #669;'>";
constexpr const char* kCellClose = "                </td>";
constexpr const char* kRowClose = "            </tr>";
constexpr const char* kIndent = "                ";

/// The two fragments in which the success and the error report differ.
struct Variant {
    const char* statusLine;
    const char* messageOpener;
};

constexpr Variant kSuccess{
    "        <span style='font-size:11pt; font weight:normal; font-style:normal; color: "
    "green;'>ZARVO Update erfolgreich abgeschlossen</span>",
    "        <br><span style='color:green; font-weight:normal;'>Meldung von ZARVO: "};

constexpr Variant kError{
    "        <span style='font-size:11pt; font weight:normal; font-style:normal; color: "
    "red;'>ZARVO Update Update mit Fehlern abgbrochen</span>",
    "        <br><span style='color:red; font-weight:normal;'>Meldung von ZARVO: "};

void AppendRow(std::string& report, const char* label, const std::string& value) {
    report.append(kRowOpen).append(kCellOpen).append(label).append(kCellClose);
    report.append(kCellOpen).append(kIndent).append(value).append(kCellClose).append(kRowClose);
}

std::string BuildReport(const Variant& variant, const std::string& message,
                        const std::string& address, const std::string& startTime,
                        const std::string& endTime) {
    std::string report;
    report.reserve(4096 + message.size() + address.size() +
                   2 * (startTime.size() + endTime.size()));
    report.append("<html>")
        .append("   <head>")
        .append("        <title>")
        .append("            Tovik DDNS Report")
        .append("        </title>")
        .append("    </head>")
        .append("    <body style='font-family:Trebuchet MS; font-size: 10pt; color:#444444;'>")
        .append(
            "        <span style='font-size:10pt; font weight:normal; font-style:italic; '>"
            "Tovik ZARVO Report</span>")
        .append(kBreak)
        .append(kBreak)
        .append(
            "        <span style='font-size:16pt; font weight:normal; font-style:normal; '>"
            "Tovik ZARVOUpdater</span>")
        .append(kBreak)
        .append(variant.statusLine)
        .append(kBreak)
        .append(kBreak)
        .append(
            "        <table cellspacing='0' style='font-family: Lucida Sans Unicode, Lucida "
            "Grande, Sans-Serif; font-size: 12px; margin: 0px; width: 650px; text-align: "
            "left; border-collapse: collapse; border-top: 7px solid #E7EAEE; border-bottom: "
            "7px solid #E7EAEE;'>");
    AppendRow(report, "                ZARVO Update gestartet:", startTime);
    AppendRow(report, "                ZARVO Update abgeschlossen:", endTime);
    AppendRow(report, "                Programm Version:", platform::ProgramVersion());
    AppendRow(report, "Servername:", AppSettings.Host);
    AppendRow(report, "                WAN IP Adresse:", address);
    report.append("        </table>")
        .append("        <br><br>")
        .append("        <br><span style='color:navy; font-weight:bold;'>ZARVO Update gestartet: ")
        .append(startTime)
        .append("</span><br>")
        .append(kBreak)
        .append(
            "        <br><span style='color:#444444; font-weight:normal;'>ZARVO Update "
            "Informationen:</span><br>")
        .append(variant.messageOpener)
        .append(message)
        .append("</span>")
        .append(kBreak)
        .append(kBreak)
        .append(
            "        <br><span style='color:navy; font-weight:bold;'>ZARVO Update "
            "abgeschlossen: ")
        .append(endTime)
        .append("</span><br>")
        .append(kBreak)
        .append(kBreak)
        .append("        <div style='color:#666666'>")
        .append(77, '_')
        .append(kBreak)
        .append(
            "        <span style='font-size:8pt; font weight:normal; font-style:italic; '>"
            "Report erstellt von Tovik ZARVOUpdater ")
        .append(platform::build::SupportAddress)
        .append("</span>")
        .append(kBreak)
        .append("        <span style='font-size:8pt; font weight:normal; font-style:italic; '>")
        .append(platform::build::WebAddress)
        .append("</span>")
        .append("        </div>")
        .append("    </body>")
        .append("</html>");
    return report;
}

}  // namespace

std::string BuildSuccessReport(const std::string& message, const std::string& address,
                               const std::string& startTime, const std::string& endTime) {
    return BuildReport(kSuccess, message, address, startTime, endTime);
}

std::string BuildErrorReport(const std::string& message, const std::string& address,
                             const std::string& startTime, const std::string& endTime) {
    return BuildReport(kError, message, address, startTime, endTime);
}
