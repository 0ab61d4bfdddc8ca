#include "settings/ConfirmedHosts.h"

#include <chrono>
#include <cstdio>

#include "platform/Text.h"
#include "settings/INIFile.h"

namespace {

constexpr std::int16_t kReadSize = 256;

}  // namespace

std::vector<std::string> HostNames(const std::string& host) {
    std::vector<std::string> names;
    std::string_view rest = host;
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view name = platform::TrimBlanks(rest.substr(0, comma));
        if (!name.empty()) {
            names.emplace_back(name);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    if (names.empty()) {
        names.emplace_back();
    }
    return names;
}

std::string ConfirmedSection(const std::string& name, std::size_t names) {
    return names == 1 ? "WAN" : "WAN " + name;
}

std::vector<ConfirmedHost> ReadConfirmedHosts(const std::string& host, const std::string& file) {
    const std::vector<std::string> names = HostNames(host);
    std::vector<ConfirmedHost> hosts;
    for (const std::string& name : names) {
        const std::string section = ConfirmedSection(name, names.size());
        auto read = [&](const char* key) {
            return ReadIniValue(section, key, "", file, kReadSize);
        };
        hosts.push_back({name, read("LastIPAdress"), read("LastIPv6Adress"), read("LastIPHost"),
                         read("LastUpdate")});
    }
    return hosts;
}

ConfirmedHost WriteConfirmedHost(const ConfirmedHost& before, const Confirmation& confirmation,
                                 std::size_t names, const std::string& file) {
    const std::string section = ConfirmedSection(before.name, names);
    const bool otherHost = before.LastIPHost != confirmation.confirmedFor;
    ConfirmedHost after = before;
    settings::ProfileEntries entries;
    auto store = [&](const char* key, const std::optional<std::string>& address,
                     std::string& field) {
        if (address || (otherHost && !field.empty())) {
            field = address.value_or("");
            entries.emplace_back(key, field);
        }
    };
    store("LastIPAdress", confirmation.IPv4, after.LastIPAdress);
    store("LastIPv6Adress", confirmation.IPv6, after.LastIPv6Adress);
    after.LastIPHost = confirmation.confirmedFor;
    after.LastUpdate = confirmation.time;
    entries.emplace_back("LastIPHost", after.LastIPHost);
    entries.emplace_back("LastUpdate", after.LastUpdate);
    return WriteIniValues(section, entries, file) ? after : before;
}

std::string UtcText(platform::TimePoint time) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss clock{seconds - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    return text;
}

std::optional<platform::TimePoint> ParseUtcText(const std::string& text) {
    using namespace std::chrono;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char zone = 0;
    int length = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &y, &mo, &d, &h, &mi, &s, &zone,
                    &length) != 7 ||
        zone != 'Z' || static_cast<std::size_t>(length) != text.size() || y < 0 || mo < 1 ||
        d < 1 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) {
        return std::nullopt;
    }
    const year_month_day date{year{y}, month(static_cast<unsigned>(mo)),
                              day(static_cast<unsigned>(d))};
    if (!date.ok()) {
        return std::nullopt;
    }
    return sys_days{date} + hours{h} + minutes{mi} + seconds{s};
}
