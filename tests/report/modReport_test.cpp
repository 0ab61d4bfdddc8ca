#include "report/modReport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "platform/Version.h"
#include "settings/modPublic.h"

namespace {

std::string Version() {
    return std::to_string(platform::build::VersionMajor) + "." +
           std::to_string(platform::build::VersionMinor) + "." +
           std::to_string(platform::build::VersionPatch);
}

const std::string kCell =
    "                <td style='padding: 5px; background: #F8F8FF; border-right: 1px solid "
    "#E7EAEE; border-left: 1px solid #E7EAEE; color: #669;'>";

// The report of a successful run at 10:00 on 1 February 2025, one fragment a line; the
// document itself is a single line.
std::vector<std::string> SuccessReportLines() {
    return {
        "<html>",
        "   <head>",
        "        <title>",
        "            Tovik DDNS Report",
        "        </title>",
        "    </head>",
        "    <body style='font-family:Trebuchet MS; font-size: 10pt; color:#444444;'>",
        "        <span style='font-size:10pt; font weight:normal; font-style:italic; '>Tovik ZARVO "
        "Report</span>",
        "        <br>",
        "        <br>",
        "        <span style='font-size:16pt; font weight:normal; font-style:normal; '>Tovik "
        "ZARVOUpdater</span>",
        "        <br>",
        "        <span style='font-size:11pt; font weight:normal; font-style:normal; color: "
        "green;'>ZARVO Update erfolgreich abgeschlossen</span>",
        "        <br>",
        "        <br>",
        "        <table cellspacing='0' style='font-family: Lucida Sans Unicode, Lucida Grande, "
        "Sans-Serif; font-size: 12px; margin: 0px; width: 650px; text-align: left; "
        "border-collapse: collapse; border-top: 7px solid #E7EAEE; border-bottom: 7px solid "
        "#E7EAEE;'>",
        "            <tr style='background: #F8F8FF;'>",
        kCell + "                ZARVO Update gestartet:",
        "                </td>",
        kCell,
        "                01.02.2025 10:00:00",
        "                </td>",
        "            </tr>",
        "            <tr style='background: #F8F8FF;'>",
        kCell + "                ZARVO Update abgeschlossen:",
        "                </td>",
        kCell,
        "                01.02.2025 10:00:05",
        "                </td>",
        "            </tr>",
        "            <tr style='background: #F8F8FF;'>",
        kCell + "                Programm Version:",
        "                </td>",
        kCell,
        "                " + Version(),
        "                </td>",
        "            </tr>",
        "            <tr style='background: #F8F8FF;'>",
        kCell + "Servername:",
        "                </td>",
        kCell,
        "                myhost.zarvo.example",
        "                </td>",
        "            </tr>",
        "            <tr style='background: #F8F8FF;'>",
        kCell + "                WAN IP Adresse:",
        "                </td>",
        kCell,
        "                203.0.113.7",
        "                </td>",
        "            </tr>",
        "        </table>",
        "        <br><br>",
        "        <br><span style='color:navy; font-weight:bold;'>ZARVO Update gestartet: "
        "01.02.2025 10:00:00</span><br>",
        "        <br>",
        "        <br><span style='color:#444444; font-weight:normal;'>ZARVO Update "
        "Informationen:</span><br>",
        "        <br><span style='color:green; font-weight:normal;'>Meldung von ZARVO: Your "
        "hostname has been updated.</span>",
        "        <br>",
        "        <br>",
        "        <br><span style='color:navy; font-weight:bold;'>ZARVO Update abgeschlossen: "
        "01.02.2025 10:00:05</span><br>",
        "        <br>",
        "        <br>",
        "        <div style='color:#666666'>"
        "_____________________________________________________________________________",
        "        <br>",
        "        <span style='font-size:8pt; font weight:normal; font-style:italic; '>Report "
        "erstellt von Tovik ZARVOUpdater " +
            std::string(platform::build::SupportAddress) + "</span>",
        "        <br>",
        "        <span style='font-size:8pt; font weight:normal; font-style:italic; '>" +
            std::string(platform::build::WebAddress) + "</span>",
        "        </div>",
        "    </body>",
        "</html>",
    };
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
    }
    return text;
}

class Report : public ::testing::Test {
  protected:
    void SetUp() override { AppSettings.Host = "myhost.zarvo.example"; }
    void TearDown() override { AppSettings.Host.clear(); }
};

TEST_F(Report, SuccessMatchesTheAgreedDocumentByteForByte) {
    EXPECT_EQ(BuildSuccessReport("Your hostname has been updated.", "203.0.113.7",
                                 "01.02.2025 10:00:00", "01.02.2025 10:00:05"),
              Joined(SuccessReportLines()));
}

TEST_F(Report, ErrorDiffersOnlyInItsStatusLineAndTheMessagesColour) {
    std::vector<std::string> lines = SuccessReportLines();
    lines[12] =
        "        <span style='font-size:11pt; font weight:normal; font-style:normal; color: "
        "red;'>ZARVO Update Update mit Fehlern abgbrochen</span>";
    lines[56] =
        "        <br><span style='color:red; font-weight:normal;'>Meldung von ZARVO: Your "
        "hostname has been updated.</span>";
    EXPECT_EQ(BuildErrorReport("Your hostname has been updated.", "203.0.113.7",
                               "01.02.2025 10:00:00", "01.02.2025 10:00:05"),
              Joined(lines));
}

// A row for each family the update sent; an update without IPv4 has no IPv4 row.
TEST_F(Report, ShowsTheAddressOfEachFamilyTheUpdateSent) {
    const std::vector<std::string> lines = SuccessReportLines();
    const auto ipv4Row =
        std::find(lines.begin(), lines.end(), kCell + "                WAN IP Adresse:") - 1;
    const std::vector<std::string> ipv6Row = {
        "            <tr style='background: #F8F8FF;'>",
        kCell + "                WAN IPv6 Adresse:",
        "                </td>",
        kCell,
        "                2a00::1",
        "                </td>",
        "            </tr>",
    };
    std::vector<std::string> both(lines.begin(), ipv4Row + 7);
    both.insert(both.end(), ipv6Row.begin(), ipv6Row.end());
    both.insert(both.end(), ipv4Row + 7, lines.end());
    std::vector<std::string> ipv6Only(lines.begin(), ipv4Row);
    ipv6Only.insert(ipv6Only.end(), ipv6Row.begin(), ipv6Row.end());
    ipv6Only.insert(ipv6Only.end(), ipv4Row + 7, lines.end());

    SentAddresses sent{"203.0.113.7"};
    sent.IPv6 = "2a00::1";
    EXPECT_EQ(BuildSuccessReport("Your hostname has been updated.", sent, "01.02.2025 10:00:00",
                                 "01.02.2025 10:00:05"),
              Joined(both));
    sent.IPv4.reset();
    EXPECT_EQ(BuildSuccessReport("Your hostname has been updated.", sent, "01.02.2025 10:00:00",
                                 "01.02.2025 10:00:05"),
              Joined(ipv6Only));
}

// Values go in as they are: markup is not escaped, line breaks stay, a value that looks like a
// field of the document's template is not filled in.
TEST_F(Report, ValuesAppearUnchangedInTheirPlaces) {
    const std::string values[] = {"<b>a & b</b> &amp; <", "line 1\r\nline 2\nline 3", "{end}", ""};
    for (const std::string& value : values) {
        AppSettings.Host = value;
        const std::string report = BuildErrorReport(value, value, value, value);
        const std::string cell = kCell + "                " + value + "                </td>";
        std::size_t cells = 0;
        for (auto at = report.find(cell); at != std::string::npos; at = report.find(cell, at + 1)) {
            ++cells;
        }
        EXPECT_EQ(cells, 4u) << "start, end, host and address: " << value;
        EXPECT_NE(report.find("Meldung von ZARVO: " + value + "</span>"), std::string::npos);
        EXPECT_NE(report.find("ZARVO Update gestartet: " + value + "</span><br>"),
                  std::string::npos);
        EXPECT_NE(report.find("ZARVO Update abgeschlossen: " + value + "</span><br>"),
                  std::string::npos);
    }
}

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
