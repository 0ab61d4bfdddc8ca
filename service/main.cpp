#include <string>

#include "platform/Process.h"
#include "report/modLogfile.h"
#include "service/frmmain.h"
#include "settings/ProfileFunctions.h"

int main(int argc, char** argv) {
    platform::InitializeProcess();
    // What a settings write tells beyond its result (a refused lock, a mode it had to narrow) is
    // for the administrator: the log has it.
    settings::SetProfileNotices([](const std::string& line) { WriteLog(line, 1); });
    // The options are compared with the whole argument text, so "-install x" is no "-install".
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        commandLine += (i > 1 ? " " : "");
        commandLine += argv[i];
    }
    zarvoupdater::frmmain form;
    if (auto status = form.Form_Load(commandLine)) {
        return *status;
    }
    return form.Run();
}
