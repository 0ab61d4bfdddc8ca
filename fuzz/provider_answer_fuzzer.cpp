#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "platform/ProgramInfo.h"
#include "service/ProviderAnswer.h"
#include "settings/modPublic.h"

// Fields: the provider's answer, the host name, the address, the start and end times. With mail
// on and the error limit out of reach, every answer leads to exactly one report mail.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // "good" stores the address in the settings file beside the program.
    platform::OverrideProgramLocation(
        platform::ProgramLocation{ScratchDirectory(), "zarvoupdater"});
    const std::vector<std::string> fields = Fields(data, size, 5);
    AppSettings = AppSettingsRecord{};
    AppSettings.Email = true;
    AppSettings.ErrorCounter = 32767;
    AppSettings.Host = fields[1];
    CurrentErrorCounter = 0;
    int mails = 0;
    ConfirmedHost host{fields[1], "", "", "", ""};
    CycleReport report;
    HandleProviderAnswer(fields[0], host, 1, fields[2], "2026-12-08T02:05:00Z", report);
    report.Send(fields[3], fields[4],
                [&](const std::string&, const std::string&, const std::string& text,
                    const std::string&, const std::string&, bool) {
                    ++mails;
                    if (text.empty()) {
                        Fail("an empty report");
                    }
                });
    if (mails != 1) {
        Fail("not exactly one mail");
    }
    return 0;
}
