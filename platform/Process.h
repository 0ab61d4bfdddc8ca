#pragma once

namespace platform {

/// Sets up the process the way the service expects it: on POSIX the user's locale for date and
/// time texts, and no death by SIGPIPE or SIGXFSZ (a closed socket or a full log file is an error
/// the code handles, not a reason to die); on Windows UTF-8 console output with "\n" line ends
/// and no error dialogs.
void InitializeProcess();

}  // namespace platform
