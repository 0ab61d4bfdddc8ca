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

// Each block at both of its ends, and the public neighbours just outside them.
TEST(IsPublicIPv4, RefusesEveryBlockNoProviderCustomerCanHave) {
    for (const char* address :
         {"0.255.255.255", "10.0.0.138",  "010.001.000.255", "100.64.0.0",      "100.127.255.255",
          "127.0.0.1",     "169.254.1.1", "172.16.0.0",      "172.31.255.255",  "192.0.0.8",
          "192.0.2.1",     "192.168.1.1", "198.18.0.0",      "198.19.255.255",  "198.51.100.7",
          "203.0.113.9",   "224.0.0.1",   "240.0.0.1",       "255.255.255.255", "",
          "1.2.3",         "1.2.3.4.5",   "1.2.3.0256"}) {
        EXPECT_FALSE(IsPublicIPv4(address)) << address;
    }
    for (const char* address :
         {"84.1.2.3", "1. 2.3 . 4", "9.255.255.255", "11.0.0.0", "100.63.255.255", "100.128.0.0",
          "172.15.255.255", "172.32.0.0", "192.0.1.255", "192.0.3.0", "192.169.0.0",
          "198.17.255.255", "198.20.0.0", "198.51.99.255", "203.0.114.0", "223.255.255.255"}) {
        EXPECT_TRUE(IsPublicIPv4(address)) << address;
    }
}

}  // namespace
