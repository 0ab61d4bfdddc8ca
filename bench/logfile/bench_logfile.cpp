// Measures the log writer: lines per second, system calls per line, and whether a thousand
// backups slow down the writes that do not rotate.
//
//   bench_logfile [--lines N]     default 100000 lines, LogfileLen 10, Backups 10 and 1000
//
// System calls are counted by running this program again under `strace -f -c` and subtracting
// a run that writes no line. /proc/self/io, which sees only reads and writes, is shown as well.

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ProgramInfo.h"
#include "report/modLogfile.h"
#include "settings/modPublic.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
const char* const kText = "Ext. IP-Address: 203.0.113.7 (unchanged)";

// Microseconds per WriteLog call, split by whether the call rotated the live file.
struct Timings {
    std::vector<double> normal, rotating;
};

// A fresh program directory whose backups all exist already, as after a long run.
std::string PrepareProgramDirectory(int backups) {
    char name[] = "/tmp/zarvo-bench-XXXXXX";
    const std::string dir = mkdtemp(name);
    fs::create_directory(dir + "/log");
    for (int i = 1; i <= backups; ++i) {
        std::ofstream(dir + "/log/zarvoupdater" + std::to_string(i) + ".log") << kText << "\r\n";
    }
    platform::OverrideProgramLocation(platform::ProgramLocation{dir, "zarvoupdater"});
    AppSettings.IsDebug = true;
    AppSettings.Loglevel = 4;
    AppSettings.LogfileLen = 10;
    AppSettings.Backups = static_cast<std::int16_t>(backups);
    return dir;
}

long LiveFileSize(const std::string& dir) {
    struct stat status {};
    return ::stat((dir + "/log/zarvoupdater.log").c_str(), &status) == 0 ? status.st_size : 0;
}

// With `dir` given, the live file's size is checked between the timed calls: a file that did
// not grow was rotated.
Timings WriteLines(long lines, const std::string& dir = "") {
    Timings timings;
    timings.normal.reserve(lines);
    long size = 0;
    for (long i = 0; i < lines; ++i) {
        const auto before = Clock::now();
        WriteLog(kText, 4);
        const double micro =
            std::chrono::duration<double, std::micro>(Clock::now() - before).count();
        const long newSize = dir.empty() ? size + 1 : LiveFileSize(dir);
        (newSize > size ? timings.normal : timings.rotating).push_back(micro);
        size = newSize;
    }
    return timings;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    auto at = values.begin() + static_cast<long>(share * (values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

double Sum(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0);
}

// Runs this program under strace and returns the calls per system call, "total" included.
std::map<std::string, long> CountSystemCalls(long lines, int backups) {
    const std::string output = "/tmp/zarvo-bench-strace-" + std::to_string(getpid());
    const std::string self = platform::ExecutablePath();
    const std::string lineArg = std::to_string(lines), backupArg = std::to_string(backups);
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        execlp("strace", "strace", "-f", "-c", "-o", output.c_str(), self.c_str(), "--child",
               lineArg.c_str(), backupArg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::map<std::string, long> calls;
    std::ifstream table(output);
    for (std::string row; std::getline(table, row);) {
        // "% time  seconds  usecs/call  calls  [errors]  syscall"
        std::istringstream fields(row);
        std::vector<std::string> words{std::istream_iterator<std::string>(fields), {}};
        if ((words.size() == 5 || words.size() == 6) && std::isdigit(words[3][0])) {
            calls[words.back()] = std::stol(words[3]);
        }
    }
    fs::remove(output);
    return calls;
}

void ReportSystemCalls(long lines, int backups) {
    auto baseline = CountSystemCalls(0, backups);
    auto measured = CountSystemCalls(lines, backups);
    if (measured.empty()) {
        std::printf("Backups %-5d strace not usable; see the /proc/self/io figures\n", backups);
        return;
    }
    std::printf("Backups %-5d %ld lines under strace: %.2f system calls per line (", backups, lines,
                (measured["total"] - baseline["total"]) / static_cast<double>(lines));
    for (const auto& [name, count] : measured) {
        const double perLine = (count - baseline[name]) / static_cast<double>(lines);
        if (name != "total" && perLine >= 0.005) {
            std::printf(" %s %.2f", name.c_str(), perLine);
        }
    }
    std::printf(" )\n");
}

long ProcIoCalls() {
    std::ifstream io("/proc/self/io");
    long total = 0;
    for (std::string key; io >> key;) {
        long value = 0;
        io >> value;
        if (key == "syscr:" || key == "syscw:") {
            total += value;
        }
    }
    return total;
}
}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
        const std::string dir = PrepareProgramDirectory(std::atoi(argv[3]));
        WriteLines(std::atol(argv[2]));
        fs::remove_all(dir);
        return 0;
    }
    long lines = 100000;
    if (argc == 3 && std::strcmp(argv[1], "--lines") == 0) {
        lines = std::max(1L, std::atol(argv[2]));
    }
    std::printf("%ld lines of \"%s\" at Loglevel 4, LogfileLen 10\n", lines, kText);
    for (int backups : {10, 1000}) {
        const std::string dir = PrepareProgramDirectory(backups);
        const long ioBefore = ProcIoCalls();
        const Timings t = WriteLines(lines, dir);
        const long ioCalls = ProcIoCalls() - ioBefore;
        fs::remove_all(dir);
        std::printf(
            "Backups %-5d %8.0f lines/s | %ld normal writes: median %.1f us, p99 %.1f us | "
            "%zu rotating writes: mean %.0f us, max %.0f us | /proc/self/io: %.2f calls/line\n",
            backups, lines / (Sum(t.normal) + Sum(t.rotating)) * 1e6,
            static_cast<long>(t.normal.size()), Percentile(t.normal, 0.5),
            Percentile(t.normal, 0.99), t.rotating.size(),
            t.rotating.empty() ? 0 : Sum(t.rotating) / t.rotating.size(),
            Percentile(t.rotating, 1.0), static_cast<double>(ioCalls) / lines);
    }
    // Under strace every call is slow; the thousand-backup case counts a tenth of the lines.
    ReportSystemCalls(lines, 10);
    ReportSystemCalls(std::max(1L, lines / 10), 1000);
    return 0;
}
