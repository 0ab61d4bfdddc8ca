#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "settings/ProfileFormat.h"

namespace {

std::vector<std::string_view> LinesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t begin = 0; begin < text.size();) {
        std::size_t end = text.find('\n', begin);
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(begin, end - begin));
        begin = end;
    }
    return lines;
}

// The last line may lack its line end before the write and have it after.
bool SameLine(std::string_view before, std::string_view after, bool last) {
    return after == before || (last && after.starts_with(before) &&
                               after.size() <= before.size() + 2 && after.back() == '\n');
}

}  // namespace

// Fields: section, key, value, then the file's content. A write of one key reads back as written,
// and every line of the file before is still there, in its order and with its bytes, except the
// one line of the key; at most a line end is completed, and a blank line, a section header and
// the key's line are added.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> fields = Fields(data, size, 4);
    const std::string& section = fields[0];
    const std::string& key = fields[1];
    const std::string& value = fields[2];
    const std::string& content = fields[3];
    if (!settings::ProfileStorable(section, key, value)) {
        return 0;
    }
    const std::string updated = settings::ProfileUpdated(content, section, key, value);
    if (settings::ProfileValue(updated, section, key, value.size() + 2) != value) {
        Fail("the written key does not read back");
    }
    const std::vector<std::string_view> before = LinesOf(content);
    const std::vector<std::string_view> after = LinesOf(updated);
    std::size_t same = 0;
    while (same < before.size() && same < after.size() &&
           SameLine(before[same], after[same], same + 1 == before.size())) {
        ++same;
    }
    std::size_t sameAtEnd = 0;
    while (same + sameAtEnd < before.size() && same + sameAtEnd < after.size() &&
           before[before.size() - 1 - sameAtEnd] == after[after.size() - 1 - sameAtEnd]) {
        ++sameAtEnd;
    }
    if (before.size() - same - sameAtEnd > 1 || after.size() - same - sameAtEnd > 3) {
        Fail("a write changed more than the key's line");
    }
    return 0;
}
