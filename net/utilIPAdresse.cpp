#include "net/utilIPAdresse.h"

#include <array>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The numeric-text test: digits, with blanks allowed around them and nothing else.
bool IsNumericText(std::string_view text, unsigned& value) {
    std::string_view digits = platform::TrimBlanks(text);
    if (digits.empty()) {
        return false;
    }
    value = 0;
    for (char c : digits) {
        if (!IsDigit(c)) {
            return false;
        }
        // Candidates are at most three characters long, so the value cannot grow large.
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

bool IsOctet(std::string_view candidate) {
    unsigned value = 0;
    return candidate.size() <= 3 && !candidate.empty() && candidate.front() != '+' &&
           candidate.front() != '-' && IsNumericText(candidate, value) && value <= 255;
}

}  // namespace

std::string ExtractIPAddress(std::string text) {
    if (text.find('.') == std::string::npos) {
        return {};
    }
    std::size_t begin = text.find_first_not_of('.');
    std::size_t end = text.find_last_not_of('.');
    // Every segment, the last one too, is closed by a dot.
    std::string working =
        (begin == std::string::npos ? "" : text.substr(begin, end - begin + 1)) + ".";
    // The shortest closed address: one digit per octet and four dots.
    if (working.size() < 8) {
        return {};
    }

    std::vector<std::string_view> segments;
    std::size_t start = 0;
    for (std::size_t dot = working.find('.'); dot != std::string::npos;
         dot = working.find('.', start)) {
        segments.emplace_back(working.data() + start, dot - start);
        start = dot + 1;
    }

    for (std::size_t k = 0; k + 3 < segments.size(); ++k) {
        std::array<std::string_view, 4> candidate{segments[k], segments[k + 1], segments[k + 2],
                                                  segments[k + 3]};
        std::size_t lastNonDigit = candidate[0].find_last_not_of("0123456789");
        if (lastNonDigit != std::string_view::npos) {
            candidate[0].remove_prefix(lastNonDigit + 1);
        }
        while (!candidate[3].empty() && !IsDigit(candidate[3].back())) {
            candidate[3].remove_suffix(1);
        }
        bool passed = true;
        for (std::string_view octet : candidate) {
            if (!IsOctet(octet)) {
                passed = false;
                break;
            }
        }
        if (passed) {
            return std::string(candidate[0]) + "." + std::string(candidate[1]) + "." +
                   std::string(candidate[2]) + "." + std::string(candidate[3]);
        }
    }
    return {};
}
