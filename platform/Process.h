#pragma once

namespace platform {

/// Sets up the process the way the service expects it: the user's locale for date and time
/// texts, and no death by SIGPIPE or SIGXFSZ (a closed socket or a full log file is an error
/// the code handles, not a reason to die).
void InitializeProcess();

}  // namespace platform
