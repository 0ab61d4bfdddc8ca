#include "report/modReport.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "platform/Version.h"
#include "settings/modPublic.h"

namespace {

const std::string kCell =
    "                <td style='padding: 5px; background: #F8F8FF; border-right: 1px solid "
    "#E7EAEE; border-left: 1px solid #E7EAEE; color: #669;'>";
const std::string kBr = "        <br>";
const std::string kSuccessStatus =
    "        <span style='font-size:11pt; font weight:normal; font-style:normal; color: green;'>"
    "ZARVO Update erfolgreich abgeschlossen</span>";
const std::string kSuccessOpener =
    "        <br><span style='color:green; font-weight:normal;'>Meldung von ZARVO: ";
const std::string kErrorStatus =
    "        <span style='font-size:11pt; font weight:normal; font-style:normal; color: red;'>"
    "ZARVO Update Update mit Fehlern abgbrochen</span>";
const std::string kErrorOpener =
    "        <br><span style='color:red; font-weight:normal;'>Meldung von ZARVO: ";

std::string Row(const std::string& label, const std::string& value) {
    return "            <tr style='background: #F8F8FF;'>" + kCell + label +
           "                </td>" + kCell + std::string(16, ' ') + value +
           "                </td>" + "            </tr>";
}

// The agreed document, written down fragment by fragment in its numbered order.
std::string Expected(const std::string& status, const std::string& opener,
                     const std::string& message, const std::string& address,
                     const std::string& start, const std::string& end, const std::string& host) {
    const std::string version = std::to_string(platform::build::VersionMajor) + "." +
                                std::to_string(platform::build::VersionMinor) + "." +
                                std::to_string(platform::build::VersionPatch);
    return "<html>" + std::string("   <head>") + "        <title>" +
           "            Tovik DDNS Report" + "        </title>" + "    </head>" +
           "    <body style='font-family:Trebuchet MS; font-size: 10pt; color:#444444;'>" +
           "        <span style='font-size:10pt; font weight:normal; font-style:italic; '>Tovik "
           "ZARVO Report</span>" +
           kBr + kBr +
           "        <span style='font-size:16pt; font weight:normal; font-style:normal; '>Tovik "
           "ZARVOUpdater</span>" +
           kBr + status + kBr + kBr +
           "        <table cellspacing='0' style='font-family: Lucida Sans Unicode, Lucida "
           "Grande, Sans-Serif; font-size: 12px; margin: 0px; width: 650px; text-align: left; "
           "border-collapse: collapse; border-top: 7px solid #E7EAEE; border-bottom: 7px solid "
           "#E7EAEE;'>" +
           Row("                ZARVO Update gestartet:", start) +
           Row("                ZARVO Update abgeschlossen:", end) +
           Row("                Programm Version:", version) + Row("Servername:", host) +
           Row("                WAN IP Adresse:", address) + "        </table>" +
           "        <br><br>" +
           "        <br><span style='color:navy; font-weight:bold;'>ZARVO Update gestartet: " +
           start + "</span><br>" + kBr +
           "        <br><span style='color:#444444; font-weight:normal;'>ZARVO Update "
           "Informationen:</span><br>" +
           opener + message + "</span>" + kBr + kBr +
           "        <br><span style='color:navy; font-weight:bold;'>ZARVO Update abgeschlossen: " +
           end + "</span><br>" + kBr + kBr + "        <div style='color:#666666'>" +
           "_____________________________________________________________________________" + kBr +
           "        <span style='font-size:8pt; font weight:normal; font-style:italic; '>Report "
           "erstellt von Tovik ZARVOUpdater " +
           platform::build::SupportAddress + "</span>" + kBr +
           "        <span style='font-size:8pt; font weight:normal; font-style:italic; '>" +
           platform::build::WebAddress + "</span>" + "        </div>" + "    </body>" + "</html>";
}

struct ReportCase {
    const char* name;
    bool error;
    std::string message, address, start, end, host;
};

class Report : public ::testing::TestWithParam<ReportCase> {};

TEST_P(Report, MatchesTheAgreedDocumentByteForByte) {
    const ReportCase& c = GetParam();
    AppSettings.Host = c.host;
    const std::string report = c.error ? BuildErrorReport(c.message, c.address, c.start, c.end)
                                       : BuildSuccessReport(c.message, c.address, c.start, c.end);
    EXPECT_EQ(report, Expected(c.error ? kErrorStatus : kSuccessStatus,
                               c.error ? kErrorOpener : kSuccessOpener, c.message, c.address,
                               c.start, c.end, c.host));
    AppSettings.Host.clear();
}

INSTANTIATE_TEST_SUITE_P(
    Variants, Report,
    ::testing::Values(
        ReportCase{"Success", false, "Update erfolgreich: good 203.0.113.7", "203.0.113.7",
                   "01.02.2025 10:00:00", "01.02.2025 10:00:05", "myhost.zarvo.example"},
        ReportCase{"Error", true, "Falscher Benutzer oder Passwort (badauth)", "198.51.100.1",
                   "01.02.2025 10:00:00", "01.02.2025 10:00:05", "myhost.zarvo.example"},
        // Nothing to insert: every fixed fragment is still there, the value cells stay empty.
        ReportCase{"EmptyArgumentsAndHost", false, "", "", "", "", ""},
        ReportCase{"MarkupPassesUnescaped", true, "<b>a & b</b> &amp; <", "1.2.3.4<", "&", "<",
                   "host&<"},
        ReportCase{"LineBreaksPassThrough", false, "line 1\r\nline 2\nline 3", "1.2.3.4", "start\n",
                   "end\r", "host\r\nname"}),
    [](const ::testing::TestParamInfo<ReportCase>& testParam) { return testParam.param.name; });

// 1.0.0 has a minor and a patch number of 0; neither may be dropped.
TEST(ReportVersion, ShowsThreeNumbersEvenWhenTheyAreZero) {
    const std::string report = BuildSuccessReport("m", "a", "s", "e");
    const std::string label =
        "Programm Version:                </td>" + kCell + std::string(16, ' ');
    const auto at = report.find(label);
    ASSERT_NE(at, std::string::npos);
    const auto start = at + label.size();
    EXPECT_TRUE(std::regex_match(report.substr(start, report.find(' ', start) - start),
                                 std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
}

}  // namespace
