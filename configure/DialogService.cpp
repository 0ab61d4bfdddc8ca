#include "configure/DialogService.h"

#include <string_view>
#include <vector>

#include "settings/ConfirmedHosts.h"
#include "settings/INIFile.h"
#include "settings/Providers.h"

namespace {

// No value read from the file holds a line break: it stands for a key the file does not have.
const std::string kMissing = "\n";
constexpr std::int16_t kReadSize = 256;

// The providers the service knows by name, after an empty entry for a server of the user's own.
const std::vector<std::string>& ProviderChoiceNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all{""};
        all.insert(all.end(), ProviderNames().begin(), ProviderNames().end());
        return all;
    }();
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

std::string ConfirmedLine(const ConfirmedHost& host) {
    std::string addresses = host.LastIPAdress;
    if (!host.LastIPv6Adress.empty()) {
        addresses += (addresses.empty() ? "" : ", ") + host.LastIPv6Adress;
    }
    // Stored for another host name, the addresses say nothing about this one.
    if (addresses.empty() ||
        (!host.LastIPHost.empty() && !host.LastIPHost.starts_with(host.name + " ("))) {
        return host.name + ": none confirmed yet";
    }
    return host.name + ": " + addresses +
           (host.LastUpdate.empty() ? "" : ", confirmed " + host.LastUpdate);
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
    const std::vector<ConfirmedHost> confirmed = ReadConfirmedHosts(hosts, path);
    if (confirmed.empty() || (confirmed.size() == 1 && confirmed[0].name.empty())) {
        return "No host name is set.";
    }
    std::string text;
    for (const ConfirmedHost& host : confirmed) {
        text += (text.empty() ? "" : "\n") + ConfirmedLine(host);
    }
    return text;
}
