#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "platform/RuntimeError.h"
#include "service/UrlParts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size);
    try {
        if (ServerPart(url) + PathPart(url) != url) {
            Fail("server part and path part do not make up the URL");
        }
    } catch (const platform::RuntimeError& error) {
        if (error.Number() != 5) {
            Fail("a URL without a path fails with another error than 5");
        }
    }
    return 0;
}
