#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "fuzz/FuzzInput.h"
#include "settings/modFunktions.h"

namespace {

std::string SettingsFile() {
    return ScratchDirectory() + "/zarvoupdater.ini";
}

}  // namespace

// Whatever the file holds, the load either completes or fails with a conversion error; no text
// field comes back longer than 255 characters of up to four bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream(SettingsFile(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    AppSettingsRecord record;
    try {
        LoadSettingsInto(record, SettingsFile, SettingsKeys::All);
    } catch (const SettingsConversionError&) {
        return 0;
    }
    for (const std::string* text : {&record.Username, &record.Password, &record.Host,
                                    &record.Email_Password, &record.LastIPAdress}) {
        if (text->size() > 255 * 4) {
            Fail("a text field is longer than 255 characters");
        }
    }
    return 0;
}
