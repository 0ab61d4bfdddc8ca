#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <sstream>

#include "net/utilIPAdresse.h"

namespace {

TEST(ExtractIPAddress, FindsTheFirstFourOctetsAsWrittenInTheText) {
    const std::pair<std::string, std::string> cases[] = {
        {"84.1.2.3\r\n", "84.1.2.3"},
        {"<html><body>Current IP Address: 84.1.2.3</body></html>", "84.1.2.3"},
        {"...1.2.3.4...", "1.2.3.4"},
        {"1.2.3", ""},
        {"a.b", ""},
        {"1234567", ""},
        {"........", ""},
        {"010.001.000.255", "010.001.000.255"},
        {"0010.1.2.3", ""},
        {"1.2.3.0010", ""},
        {"1.2.3.256", ""},
        {"1.+2.3.4", ""},
        {"1.2.-3.4", ""},
        {"1.2.3.4.5", "1.2.3.4"},
        {"256.1.2.3.4", "1.2.3.4"},
        {"Version 2.0.1.5. then IP 84.1.2.3", "2.0.1.5"},
        {"Version 2.0.1.5 IP 84.1.2.3", "84.1.2.3"},
        {"84.1.2.3 Port 80", ""},
        {"Order 1234.1.2.3", ""},
        {"1..2.3.4", ""},
        {"1. 2.3 . 4 ", "1. 2.3 . 4"},
        {"1.2.3.1e2", ""},
        {"1.2.3,5.4.9", ""},
        {"\xFF"
         "84.1.2.3\xC3\xA4",
         "84.1.2.3"},
        // Far beyond what 16-bit counters could hold.
        {"a" + std::string(40000, '.') + "84.1.2.3", "84.1.2.3"},
        {std::string(40000, '7') + ".1.2.3", ""},
    };
    for (const auto& [text, address] : cases) {
        EXPECT_EQ(ExtractIPAddress(text), address) << text.substr(0, 60);
    }
}

TEST(ExtractIPAddress, AnyTextGivesNothingOrFourSmallNumbersCopiedFromIt) {
    std::mt19937 random(4711);
    const std::string alphabet = std::string("0123456789.....  ab+-,e\r\n\t\xFF") + '\0';
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (int n = 0; n < 300000 && std::chrono::steady_clock::now() < deadline; ++n) {
        std::string text(random() % 48, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        std::string address = ExtractIPAddress(text);
        if (address.empty()) {
            continue;
        }
        ASSERT_NE(text.find(address), std::string::npos) << text;
        std::istringstream octets(address);
        std::string octet;
        int count = 0;
        while (std::getline(octets, octet, '.')) {
            ++count;
            ASSERT_LE(octet.size(), 3u) << text;
            ASSERT_LE(std::stoi(octet), 255) << text;
        }
        ASSERT_EQ(count, 4) << text;
    }
}

}  // namespace
