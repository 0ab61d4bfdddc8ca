#include "service/SettingsWatch.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace {

// Nothing while the file is there but cannot be read (a writer on Windows replacing it); the
// end of that write notifies again. A missing file reads as empty.
std::optional<std::string> FileContent(const std::string& utf8) {
    const std::filesystem::path path(std::u8string(utf8.begin(), utf8.end()));
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        std::error_code error;
        return std::filesystem::exists(path, error) || error ? std::nullopt
                                                             : std::optional<std::string>("");
    }
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool IsWanSection(std::string_view line) {
    line = platform::TrimBlanks(line);
    if (!line.starts_with('[') || line.find(']') == std::string_view::npos) {
        return false;
    }
    const std::string_view name = platform::TrimBlanks(line.substr(1, line.find(']') - 1));
    return platform::EqualsIgnoringCase(name.substr(0, 3), "WAN") &&
           (name.size() == 3 || name[3] == ' ');
}

// `content` without the [WAN] sections (also "[WAN name]"), the service's own part of the file.
std::string WithoutWanSections(const std::string& content) {
    std::string kept;
    bool inWan = false;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end + 1;
        const std::string_view line(content.data() + start, end - start);
        if (platform::TrimBlanks(line).starts_with('[')) {
            inWan = IsWanSection(line);
        }
        if (!inWan) {
            kept += line;
        }
        start = end;
    }
    return kept;
}

}  // namespace

SettingsWatch::SettingsWatch(platform::EventLoop& loop, std::function<void()> onChange)
    : loop_(loop), onChange_(std::move(onChange)) {}

std::string SettingsWatch::Start(const std::string& path) {
    path_ = path;
    try {
        watch_ = std::make_unique<platform::FileWatch>(loop_, path, [this] { Notified(); });
    } catch (const platform::RuntimeError& error) {
        return error.Text();
    }
    Read();
    return {};
}

void SettingsWatch::Read() {
    if (watch_) {
        read_ = WithoutWanSections(FileContent(path_).value_or(""));
    }
}

void SettingsWatch::Notified() {
    // The file, not the notification, decides: on Windows any file of the folder notifies, and
    // the service's own write of a confirmed address changes only the [WAN] part.
    const std::optional<std::string> content = FileContent(path_);
    if (content && WithoutWanSections(*content) != read_) {
        onChange_();
    }
}
