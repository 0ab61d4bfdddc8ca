#include "configure/DialogService.h"

#include <string_view>
#include <vector>

#include "platform/Text.h"
#include "settings/INIFile.h"

namespace {

// No value read from the file holds a line break: it stands for a key the file does not have.
const std::string kMissing = "\n";
constexpr std::int16_t kReadSize = 256;

// The providers the service knows by name; the empty entry is a server of the user's own.
const std::vector<std::string>& ProviderChoiceNames() {
    static const std::vector<std::string> names = {
        "",      "dyndns", "noip", "desec", "dynv6", "strato", "allinkl", "selfhost",
        "ddnss", "spdyn",  "dynu", "he",    "ovh",   "inwx",   "dyfi"};
    return names;
}

std::vector<DialogChoice> BaseChoices(int list) {
    std::vector<DialogChoice> choices;
    if (list == 0) {
        for (const std::string& name : ProviderChoiceNames()) {
            choices.push_back({name, name.empty() ? "(own server)" : name});
        }
    } else if (list == 1) {
        choices = {{"echo", "echo page"}, {"router", "router"}};
    } else {
        choices = {{"", "one for both"}, {"separate", "one per family"}};
    }
    return choices;
}

// What the service takes when the key is missing.
std::string DefaultOf(const DialogControl& control) {
    const std::string_view key = control.key;
    return key == "RefreshDays"     ? "25"
           : key == "WANIPSource"   ? "echo"
           : key == "IPv4"          ? "on"
           : key == "WANIPv6Source" ? "interface"
                                    : "";
}

// A check box shows the switch as the service reads it: IPv4 is on unless "off".
bool Checked(const DialogControl& control, const std::string& text) {
    return std::string_view(control.key) == "IPv4" ? text != "off" : text == "on";
}

std::string Id(const DialogControl& control) {
    return "[" + std::string(control.section) + "] " + control.key;
}

std::string LoadedText(const DialogValues& values, const DialogControl& control) {
    const auto stored = values.stored.find(Id(control));
    return stored != values.stored.end() ? stored->second : DefaultOf(control);
}

// The value the control would hold had the user left it as loaded.
std::string ShownValue(const DialogControl& control, const std::string& text) {
    if (control.kind == ControlKind::CheckBox) {
        return Checked(control, text) ? "on" : "off";
    }
    return text;
}

std::string Read(const std::string& section, const char* key, const std::string& path) {
    return ReadIniValue(section, key, "", path, kReadSize);
}

std::string ConfirmedLine(const std::string& name, const std::string& section,
                          const std::string& path) {
    const std::string host = Read(section, "LastIPHost", path);
    std::string addresses = Read(section, "LastIPAdress", path);
    const std::string ipv6 = Read(section, "LastIPv6Adress", path);
    if (!ipv6.empty()) {
        addresses += (addresses.empty() ? "" : ", ") + ipv6;
    }
    // Stored for another host name, the addresses say nothing about this one.
    if (addresses.empty() || (!host.empty() && !host.starts_with(name + " ("))) {
        return name + ": none confirmed yet";
    }
    const std::string when = Read(section, "LastUpdate", path);
    return name + ": " + addresses + (when.empty() ? "" : ", confirmed " + when);
}

}  // namespace

std::string ValueOf(const DialogValues& values, const DialogControl& control) {
    if (control.kind == ControlKind::CheckBox) {
        return values.chkZARVOUpdater[control.index] ? "on" : "off";
    }
    if (control.kind == ControlKind::ComboBox) {
        return values.cboZARVO[control.index];
    }
    return values.Text[control.index];
}

void LoadServiceFrame(DialogValues& values, const std::string& path) {
    for (const DialogControl& control : DialogControls()) {
        if (control.frame == nullptr || control.key == nullptr ||
            std::string_view(control.frame) != kServiceFrame) {
            continue;
        }
        std::string text = ReadIniValue(control.section, control.key, kMissing, path, kReadSize);
        if (text == kMissing) {
            text = DefaultOf(control);
        } else {
            values.stored[Id(control)] = text;
        }
        if (control.kind == ControlKind::CheckBox) {
            values.chkZARVOUpdater[control.index] = Checked(control, text);
        } else if (control.kind == ControlKind::ComboBox) {
            std::vector<DialogChoice>& choices = values.choices[control.index];
            choices = BaseChoices(control.index);
            bool known = false;
            for (const DialogChoice& choice : choices) {
                known = known || choice.value == text;
            }
            if (!known) {
                choices.push_back({text, text});
            }
            values.cboZARVO[control.index] = text;
        } else {
            values.Text[control.index] = text;
        }
    }
    values.confirmed = ConfirmedText(values.Text[2], path);
}

std::optional<std::string> ServiceFrameText(const DialogValues& values,
                                            const DialogControl& control) {
    const std::string value = ValueOf(values, control);
    if (value != ShownValue(control, LoadedText(values, control))) {
        return value;
    }
    const auto stored = values.stored.find(Id(control));
    return stored != values.stored.end() ? std::optional<std::string>(stored->second)
                                         : std::nullopt;
}

std::string ConfirmedText(const std::string& hosts, const std::string& path) {
    std::vector<std::string> names;
    for (std::size_t start = 0; start <= hosts.size();) {
        std::size_t end = hosts.find(',', start);
        end = end == std::string::npos ? hosts.size() : end;
        const std::string_view name =
            platform::TrimBlanks(std::string_view(hosts).substr(start, end - start));
        if (!name.empty()) {
            names.emplace_back(name);
        }
        start = end + 1;
    }
    if (names.empty()) {
        return "No host name is set.";
    }
    // With one name the service keeps the plain [WAN] section; with several, one per name.
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : "\n") +
                ConfirmedLine(name, names.size() == 1 ? "WAN" : "WAN " + name, path);
    }
    return text;
}
