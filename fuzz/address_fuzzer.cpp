#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "net/utilIPAdresse.h"
#include "net/utilIPv6Adresse.h"

// An IPv6 address found comes back in its canonical form, which reads back as itself.
void CheckIPv6(const std::string& text) {
    const std::string address = ExtractIPv6Address(text);
    if (address.empty()) {
        return;
    }
    const auto bytes = ParseIPv6Address(address);
    if (!bytes || IPv6AddressText(*bytes) != address) {
        Fail("the IPv6 address is not canonical");
    }
}

// The address found is always written in the text as it stands, as four groups of digits.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckIPv6(text);
    const std::string address = ExtractIPAddress(text);
    if (address.empty()) {
        return 0;
    }
    if (text.find(address) == std::string::npos) {
        Fail("the address is not part of the text");
    }
    int dots = 0;
    for (char c : address) {
        dots += c == '.';
    }
    if (dots != 3 || address.size() > 15) {
        Fail("the address is not four groups");
    }
    return 0;
}
