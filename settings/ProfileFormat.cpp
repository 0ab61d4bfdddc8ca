#include "settings/ProfileFormat.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace settings {

namespace {

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A value that a reader would trim or unquote is written inside quotes, so that it reads back as
// written: a password may well end in a blank or be enclosed in quotes itself.
std::string Encoded(const std::string& value) {
    bool changedByReading =
        !value.empty() && (platform::IsBlank(value.front()) || platform::IsBlank(value.back()) ||
                           Unquote(value).size() != value.size());
    return changedByReading ? "\"" + value + "\"" : value;
}

// Where one line of the file lies, its terminator kept apart, so that a write can splice a change
// in and give back every other byte as it was.
struct Line {
    std::size_t begin;
    std::size_t textEnd;  // start of the "\n" or "\r\n", or the end of an unterminated last line
    std::size_t end;
};

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    // Editors that save UTF-8 with a byte-order mark would otherwise hide the first section.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::size_t begin = content.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (begin < content.size()) {
        std::size_t newline = content.find('\n', begin);
        std::size_t end = newline == std::string_view::npos ? content.size() : newline + 1;
        std::size_t textEnd = newline == std::string_view::npos ? content.size() : newline;
        // A CR before the LF, or at the very end of a file whose last line lacks its LF, belongs
        // to the line end: otherwise the value would read differently once a write completes it.
        if (textEnd > begin && content[textEnd - 1] == '\r') {
            --textEnd;
        }
        lines.push_back({begin, textEnd, end});
        begin = end;
    }
    return lines;
}

// What a line needs so that another line can follow it: nothing, the LF that completes a CR at
// the end of the file, or a whole line end.
std::string_view MissingTerminator(std::string_view content, const Line& line,
                                   std::string_view eol) {
    if (line.end > line.begin && content[line.end - 1] == '\n') {
        return {};
    }
    return line.textEnd < line.end ? "\n" : eol;
}

std::string_view LineEnding(std::string_view content) {
    std::size_t newline = content.find('\n');
    return (newline != std::string_view::npos && newline > 0 && content[newline - 1] == '\r')
               ? "\r\n"
               : "\n";
}

enum class Kind { Other, Section, Key };

struct Entry {
    Kind kind = Kind::Other;
    std::string_view name;
    std::size_t valueOffset = 0;  // within the line, just after the "="
    std::string_view rawValue;
};

Entry Parse(std::string_view text) {
    // A NUL ends the line's meaning as it ends a C string; names and values never contain one.
    text = text.substr(0, text.find('\0'));
    std::string_view body = platform::TrimBlanks(text);
    if (body.empty()) {
        return {};
    }
    if (body.front() == '[') {
        std::size_t close = body.find(']');
        if (close == std::string_view::npos) {
            return {};
        }
        return {Kind::Section, platform::TrimBlanks(body.substr(1, close - 1)), 0, {}};
    }
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || platform::TrimBlanks(text.substr(0, equals)).empty()) {
        return {};
    }
    return {Kind::Key, platform::TrimBlanks(text.substr(0, equals)), equals + 1,
            text.substr(equals + 1)};
}

struct Match {
    std::optional<std::size_t> section;  // header line of the first section of that name
    std::optional<std::size_t> key;      // first line of the key within that section
    std::size_t lastOfSection = 0;       // header or last key line: where a new key goes after
    Entry entry;
};

Match Find(std::string_view content, const std::vector<Line>& lines, std::string_view section,
           std::string_view key) {
    Match match;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Entry entry = Parse(content.substr(lines[i].begin, lines[i].textEnd - lines[i].begin));
        if (entry.kind == Kind::Section) {
            if (match.section) {
                break;  // the section ends here; a later one of that name does not count
            }
            if (platform::EqualsIgnoringCase(entry.name, section)) {
                match.section = i;
                match.lastOfSection = i;
            }
        } else if (entry.kind == Kind::Key && match.section) {
            match.lastOfSection = i;
            if (platform::EqualsIgnoringCase(entry.name, key)) {
                match.key = i;
                match.entry = entry;
                break;
            }
        }
    }
    return match;
}

// The length of the UTF-8 sequence at `at`, or 1 where the bytes are no UTF-8: a stray byte then
// counts as a character of its own, as it would in a single-byte code page.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
    auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                                                        : 1;
    if (at + length > text.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!platform::IsUtf8Continuation(text[at + i])) {
            return 1;
        }
    }
    return length;
}

// The limit counts characters, not bytes: a password of non-ASCII letters keeps as many letters
// as one of ASCII letters.
std::string Truncated(std::string_view value, std::size_t size) {
    std::size_t cut = 0;
    for (std::size_t characters = 0; cut < value.size() && characters + 1 < size; ++characters) {
        cut += CharacterLength(value, cut);
    }
    return std::string(value.substr(0, cut));
}

std::string Updated(std::string_view content, std::string_view section, std::string_view key,
                    const std::string& value) {
    std::vector<Line> lines = SplitLines(content);
    Match match = Find(content, lines, section, key);
    std::string_view eol = LineEnding(content);
    std::string result;
    if (match.key) {
        // The key keeps its spelling and the blanks around "=": only the value changes.
        const Line& line = lines[*match.key];
        std::size_t valueStart = line.begin + match.entry.valueOffset;
        while (valueStart < line.textEnd && platform::IsBlank(content[valueStart])) {
            ++valueStart;
        }
        result.append(content.substr(0, valueStart)).append(Encoded(value));
        result.append(content.substr(line.textEnd));
    } else if (match.section) {
        const Line& after = lines[match.lastOfSection];
        result.append(content.substr(0, after.end)).append(MissingTerminator(content, after, eol));
        result.append(key).append("=").append(Encoded(value)).append(eol);
        result.append(content.substr(after.end));
    } else {
        result.append(content);
        if (!lines.empty()) {
            const Line& last = lines.back();
            result.append(MissingTerminator(content, last, eol));
            if (!platform::TrimBlanks(content.substr(last.begin, last.textEnd - last.begin))
                     .empty()) {
                result.append(eol);
            }
        }
        result.append("[").append(section).append("]").append(eol);
        result.append(key).append("=").append(Encoded(value)).append(eol);
    }
    return result;
}

bool FitsOnOneLine(std::string_view text) {
    return !platform::HasLineBreakOrNul(text);
}

}  // namespace

std::optional<std::string> ProfileValue(std::string_view content, std::string_view section,
                                        std::string_view key, std::size_t size) {
    std::vector<Line> lines = SplitLines(content);
    Match match = Find(content, lines, platform::TrimBlanks(section), platform::TrimBlanks(key));
    if (!match.key) {
        return std::nullopt;
    }
    return Truncated(Unquote(platform::TrimBlanks(match.entry.rawValue)), size);
}

std::string ProfileDefault(std::string_view value, std::size_t size) {
    return Truncated(value, size);
}

std::string ProfileValueOrDefault(const std::optional<std::string>& content,
                                  std::string_view section, std::string_view key,
                                  std::string_view defaultValue, std::size_t size) {
    if (content) {
        if (std::optional<std::string> value = ProfileValue(*content, section, key, size)) {
            return *value;
        }
    }
    return ProfileDefault(defaultValue, size);
}

std::string ProfileUpdated(std::string_view content, std::string_view section, std::string_view key,
                           const std::string& value) {
    return Updated(content, platform::TrimBlanks(section), platform::TrimBlanks(key), value);
}

// Anything else would write lines that read back as something other than the one key.
bool ProfileStorable(std::string_view section, std::string_view key, std::string_view value) {
    section = platform::TrimBlanks(section);
    key = platform::TrimBlanks(key);
    return !section.empty() && !key.empty() && FitsOnOneLine(section) && FitsOnOneLine(key) &&
           FitsOnOneLine(value) && section.find(']') == std::string_view::npos &&
           key.find('=') == std::string_view::npos && key.front() != '[';
}

std::string ProfileUpdated(std::string content, std::string_view section,
                           const ProfileEntries& entries) {
    for (const auto& [key, value] : entries) {
        content = ProfileUpdated(content, section, key, value);
    }
    return content;
}

bool ProfileStorable(std::string_view section, const ProfileEntries& entries) {
    for (const auto& [key, value] : entries) {
        if (!ProfileStorable(section, key, value)) {
            return false;
        }
    }
    return !entries.empty();
}

}  // namespace settings
