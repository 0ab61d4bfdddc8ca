#include "report/modLogfile.h"

#include <chrono>

#include "platform/Clock.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"
#include "platform/ProgramInfo.h"
#include "report/utilDirExist.h"
#include "report/utilFileExist.h"
#include "settings/modPublic.h"

namespace {
bool LevelAdmitted(std::int32_t level) {
    switch (AppSettings.Loglevel) {
        case 1:
            return level == 1;
        case 2:
        case 3:
        case 4:
            return level <= AppSettings.Loglevel;
        default:
            return false;
    }
}

std::string BackupPath(const std::string& sBase, int number) {
    return sBase + std::to_string(number) + ".log";
}

// A rotation takes a few renames; a lock still busy after this long belongs to a writer that
// hangs, and the line is better appended to a long file than held up.
constexpr std::chrono::milliseconds kRotationWait{250};

// Two processes that write the same log (a -debug run beside the service) may both find the live
// file too long. Rotating twice would push the fresh live file of the first rotation into the
// backups, and two shifts running at once delete each other's backups. So rotations take turns,
// and each checks the size again once it has its turn: only the first one rotates.
void RotateIfTooLong(const std::string& sLogDir, const std::string& sLogFile, std::int64_t limit) {
    if (auto size = platform::FileSize(sLogFile); !size || *size <= limit) {
        return;
    }
    platform::FileLock lock(sLogDir + "/." + platform::ProgramName() + ".log.lock", kRotationWait);
    if (auto size = platform::FileSize(sLogFile); lock.Held() && size && *size > limit) {
        RotateLog(sLogFile);
    }
}
}  // namespace

void RotateLog(const std::string& sLogFile) {
    // Cut at the last dot, the one of ".log": dots in directory names come before it.
    const std::string sBase = sLogFile.substr(0, sLogFile.rfind('.'));
    for (int number = AppSettings.Backups; number >= 1; --number) {
        const std::string sTarget = BackupPath(sBase, number);
        const std::string sSource = number == 1 ? sLogFile : BackupPath(sBase, number - 1);
        // Results are ignored on purpose: a backup that cannot be deleted stays, and the rename
        // onto it then fails as well, leaving both files as they were.
        if (FileExists(sTarget)) {
            platform::RemoveFile(sTarget);
        }
        if (FileExists(sSource)) {
            platform::RenameFile(sSource, sTarget);
        }
    }
}

void WriteBanner(const std::string& title) {
    constexpr std::size_t kBannerWidth = 96;
    const std::string rule(kBannerWidth, '#');
    std::string middle = title;
    middle.resize(kBannerWidth - 1, ' ');
    middle += '#';
    WriteLog(rule, 4);
    WriteLog(middle, 4);
    WriteLog(rule, 4);
}

void WriteLog(const std::string& text, std::int32_t level) {
    if (!AppSettings.IsDebug) {
        return;
    }
    // The log reports failures; it must never become one. Whatever goes wrong here, even running
    // out of memory, costs this line and nothing else.
    try {
        const std::string sProgramDir = platform::ProgramDirectory();
        if (sProgramDir.empty()) {
            return;  // the executable's location is unknown; "/log" would be the wrong place
        }
        const std::string sLogDir = sProgramDir + "/log";
        if (!DirExists(sLogDir)) {
            platform::MakeDirectory(sLogDir);
        }
        const std::string sLogFile = sLogDir + "/" + platform::ProgramName() + ".log";

        // 64 bits, so that every LogfileLen the settings can hold gives a positive limit. No size
        // (no live file yet, or something else than a file) means no rotation.
        RotateIfTooLong(sLogDir, sLogFile, std::int64_t{AppSettings.LogfileLen} * 1000);

        std::string sLine;
        if (LevelAdmitted(level)) {
            // One reading of the clock, so that date and time never straddle midnight.
            const platform::TimePoint now = platform::Now();
            sLine = platform::ShortDate(now) + " " + platform::LongTime(now) + " " + text + "\r\n";
        }
        // A dropped line still opens and closes the file, which creates it when missing.
        platform::AppendRecord(sLogFile, sLine);
    } catch (...) {
    }
}
