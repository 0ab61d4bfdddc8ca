#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <sstream>

#include "net/utilIPAdresse.h"
#include "net/utilIPv6Adresse.h"

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

// Parsed, written canonically, and judged: "" when the text is no address; "-" after the canonical
// form when the address cannot stand for a host on the internet.
TEST(IPv6Address, ParsesEveryWrittenFormAndKeepsOnlyGlobalUnicast) {
    const std::pair<std::string, std::string> cases[] = {
        {"2a00:1450:4001:82b:0:0:0:200e", "2a00:1450:4001:82b::200e"},
        {"2A00:1450:0:0:1:0:0:1", "2a00:1450::1:0:0:1"},
        {"2600:0:0:1::", "2600:0:0:1::"},
        {"2a00:1:2:3:4:5:6::", "2a00:1:2:3:4:5:6:0"},
        {"::ffff:84.1.2.3", "::ffff:5401:203-"},
        {"2a00::84.1.2.3", "2a00::5401:203"},
        {"::", "::-"},
        {"::1", "::1-"},
        {"fe80::1", "fe80::1-"},
        {"fd12:3456::1", "fd12:3456::1-"},
        {"2001:db8::1", "2001:db8::1-"},
        {"3fff::1", "3fff::1-"},
        {"3fff:1000::1", "3fff:1000::1"},
        {"3000::1", "3000::1"},
        {"4000::1", "4000::1-"},
        {"2001:0:4136:e378::1", "2001:0:4136:e378::1-"},
        {"2002:5401:203::1", "2002:5401:203::1-"},
        {"2001:470::1", "2001:470::1"},
        {"ff02::1", "ff02::1-"},
        {"2a00::1%eth0", ""},
        {"2a00:::1", ""},
        {"2a00::1::2", ""},
        {"2a00:1:2:3:4:5:6:7:8", ""},
        {"2a00:1:2:3:4:5:6", ""},
        {"2a00:1:2:3:4:5:6:7::", ""},
        {"2a00:12345::1", ""},
        {":2a00::1", ""},
        {"2a00::1:", ""},
        {"2a00::01.2.3.4", ""},
        {"2a00::1.2.3.256", ""},
        {"2a00::1.2.3", ""},
        {"2a00:1:2:3:4:5:6:1.2.3.4", ""},
        {"84.1.2.3", ""},
        {"g::1", ""},
    };
    for (const auto& [text, expected] : cases) {
        std::optional<IPv6Bytes> address = ParseIPv6Address(text);
        std::string outcome;
        if (address) {
            outcome = IPv6AddressText(*address) + (IsGlobalUnicastIPv6(*address) ? "" : "-");
        }
        EXPECT_EQ(outcome, expected) << text;
    }
}

TEST(IPv6Address, EchoPagesGiveTheFirstAddressWrittenInThem) {
    const std::pair<std::string, std::string> cases[] = {
        {"2a00:1450::200e\r\n", "2a00:1450::200e"},
        {"<html><body>Current IP Address: 2A00:1450:0::200E</body></html>", "2a00:1450::200e"},
        {"Your address:2a00::1.", "2a00::1"},
        {"[2a00::1]:443", "2a00::1"},
        {"at 10:20:30 from 2600::5", "2600::5"},
        {"84.1.2.3 and 2600::5", "2600::5"},
        {"fe80::1%eth0 then 2600::5", ""},
        {"no address", ""},
        {"00:11:22:33:44:55", ""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ExtractIPv6Address(text), expected) << text;
    }
}

// The flags as the system reports them; the kernel alone sets "temporary", so only a table
// like this one can show that such an address is passed over.
TEST(IPv6Address, TheInterfaceGivesItsStableGlobalAddressPreferredLongest) {
    auto entry = [](const char* text, bool temporary, bool deprecated, bool tentative,
                    std::uint32_t preferred) {
        return platform::InterfaceAddress{*ParseIPv6Address(text), temporary, deprecated, tentative,
                                          preferred};
    };
    const std::vector<platform::InterfaceAddress> addresses{
        entry("::1", false, false, false, platform::InterfaceAddress::kForever),
        entry("fe80::1", false, false, false, platform::InterfaceAddress::kForever),
        entry("fd00::1", false, false, false, platform::InterfaceAddress::kForever),
        entry("2a00::7e", true, false, false, 90000),
        entry("2a00::dead", false, true, false, 0),
        entry("2a00::5", false, false, true, 86400),
        entry("2a00::1", false, false, false, 3600),
        entry("2a00::2", false, false, false, 14400),
        entry("2a00::3", false, false, false, 14400),
    };
    EXPECT_EQ(StableIPv6Address(addresses), "2a00::2");
    EXPECT_EQ(StableIPv6Address({addresses.begin(), addresses.begin() + 6}), "");
}

// What the system lists itself. Under Wine that is what Wine makes of the host's addresses; it
// knows no temporary or deprecated state, which only the table above can show.
TEST(IPv6Address, TheSystemListsItsLoopbackAddressAsNoneToPublish) {
    const std::vector<platform::InterfaceAddress> addresses = platform::InterfaceIPv6Addresses();
    auto loopback = std::find_if(addresses.begin(), addresses.end(), [](const auto& address) {
        return IPv6AddressText(address.bytes) == "::1";
    });
    ASSERT_NE(loopback, addresses.end());
    EXPECT_FALSE(loopback->temporary || loopback->deprecated || loopback->tentative);
    EXPECT_EQ(StableIPv6Address({*loopback}), "");
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
