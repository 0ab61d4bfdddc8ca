#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "net/utilIPAdresse.h"

// The address found is always written in the text as it stands, as four groups of digits.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
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
