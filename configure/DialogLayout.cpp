#include "configure/DialogLayout.h"

#include <array>
#include <string_view>

namespace {

constexpr const char* kAccount = "frmAccount";
constexpr const char* kApplication = "frmApplication";
constexpr const char* kService = kServiceFrame;
constexpr const char* kApp = "Application";
using K = ControlKind;

// Tab order follows the rows, each label before its box; the save writes the keys in the same
// order.
constexpr std::array<DialogControl, 46> kControls{{
    {kAccount, -1, K::Frame, "Account", nullptr, 360, 240, 5295, 2055, 0, nullptr, nullptr},
    {"Label", 0, K::Label, "Username:", kAccount, 360, 360, 1600, 255, 1, nullptr, nullptr},
    {"Text", 0, K::TextBox, "", kAccount, 2520, 360, 2535, 285, 2, "ACCOUNT", "Username"},
    {"Label", 1, K::Label, "Password:", kAccount, 360, 720, 1600, 255, 3, nullptr, nullptr},
    {"Text", 1, K::TextBox, "", kAccount, 2520, 720, 2535, 285, 4, "ACCOUNT", "Password"},
    {"Label", 2, K::Label, "ZARVO Hostname:", kAccount, 360, 1080, 1600, 255, 5, nullptr, nullptr},
    {"Text", 2, K::TextBox, "", kAccount, 2520, 1080, 2535, 285, 6, "ACCOUNT", "Host"},
    {"Label", 3, K::Label, "Static IP:", kAccount, 360, 1440, 1600, 255, 7, nullptr, nullptr},
    {"Text", 3, K::TextBox, "", kAccount, 2520, 1440, 2535, 285, 8, "ACCOUNT", "StaticIPAddress"},
    {kApplication, -1, K::Frame, "Application", nullptr, 360, 2520, 5295, 4335, 9, nullptr,
     nullptr},
    {"chkZARVOUpdater", 0, K::CheckBox, "ZARVO Update Enable", kApplication, 480, 360, 4575, 375,
     10, kApp, "ZARVOUpdater"},
    {"Label", 4, K::Label, "Interval Minute:", kApplication, 360, 840, 1605, 255, 11, nullptr,
     nullptr},
    {"Text", 4, K::TextBox, "", kApplication, 2520, 840, 2535, 285, 12, kApp, "Interval"},
    {"Label", 5, K::Label, "Error Email Count:", kApplication, 360, 1200, 1605, 255, 13, nullptr,
     nullptr},
    {"Text", 5, K::TextBox, "", kApplication, 2520, 1200, 2535, 285, 14, kApp, "ErrorCounter"},
    {"chkZARVOUpdater", 1, K::CheckBox, "Email Notify Enable", kApplication, 480, 1800, 4575, 375,
     15, kApp, "Email"},
    {"Label", 6, K::Label, "Email Receiver:", kApplication, 360, 2280, 1605, 255, 16, nullptr,
     nullptr},
    {"Text", 6, K::TextBox, "", kApplication, 2520, 2280, 2535, 285, 17, kApp, "Email_Receiver"},
    {"Label", 7, K::Label, "Email Sender:", kApplication, 360, 2640, 1605, 255, 18, nullptr,
     nullptr},
    {"Text", 7, K::TextBox, "", kApplication, 2520, 2640, 2535, 285, 19, kApp, "Email_Sender"},
    {"Label", 8, K::Label, "SMTP Server:", kApplication, 360, 3000, 1605, 255, 20, nullptr,
     nullptr},
    {"Text", 8, K::TextBox, "", kApplication, 2520, 3000, 2535, 285, 21, kApp, "Email_Server"},
    {"Label", 9, K::Label, "SMTP Username:", kApplication, 360, 3360, 1605, 255, 22, nullptr,
     nullptr},
    {"Text", 9, K::TextBox, "", kApplication, 2520, 3360, 2535, 285, 23, kApp, "Email_Username"},
    // The only caption without a colon.
    {"Label", 10, K::Label, "SMTP Password", kApplication, 360, 3720, 1605, 255, 24, nullptr,
     nullptr},
    {"Text", 10, K::TextBox, "", kApplication, 2520, 3720, 2535, 285, 25, kApp, "Email_Password"},
    // Beside the two frames above, as tall as both: what the service reads beyond them.
    {kService, -1, K::Frame, "Provider and Addresses", nullptr, 6000, 240, 5295, 6615, 26, nullptr,
     nullptr},
    {"Label", 14, K::Label, "Provider:", kService, 360, 360, 1600, 255, 27, nullptr, nullptr},
    {"cboZARVO", 0, K::ComboBox, "", kService, 2520, 330, 2535, 315, 28, "ZARVO", "Provider"},
    {"Label", 11, K::Label, "Refresh Days:", kService, 360, 720, 1600, 255, 29, nullptr, nullptr},
    {"Text", 11, K::TextBox, "", kService, 2520, 720, 2535, 285, 30, "ZARVO", "RefreshDays"},
    {"Label", 15, K::Label, "IP Source:", kService, 360, 1080, 1600, 255, 31, nullptr, nullptr},
    {"cboZARVO", 1, K::ComboBox, "", kService, 2520, 1050, 2535, 315, 32, "ZARVO", "WANIPSource"},
    {"chkZARVOUpdater", 2, K::CheckBox, "IPv4 Update Enable", kService, 480, 1440, 4575, 375, 33,
     kApp, "IPv4"},
    {"chkZARVOUpdater", 3, K::CheckBox, "IPv6 Update Enable", kService, 480, 1860, 4575, 375, 34,
     kApp, "IPv6"},
    {"Label", 12, K::Label, "IPv6 Source:", kService, 360, 2340, 1600, 255, 35, nullptr, nullptr},
    {"Text", 12, K::TextBox, "", kService, 2520, 2340, 2535, 285, 36, "ZARVO", "WANIPv6Source"},
    {"Label", 13, K::Label, "Static IPv6:", kService, 360, 2700, 1600, 255, 37, nullptr, nullptr},
    {"Text", 13, K::TextBox, "", kService, 2520, 2700, 2535, 285, 38, "ACCOUNT",
     "StaticIPv6Address"},
    {"Label", 16, K::Label, "IPv6 Requests:", kService, 360, 3060, 1600, 255, 39, nullptr, nullptr},
    {"cboZARVO", 2, K::ComboBox, "", kService, 2520, 3030, 2535, 315, 40, "ZARVO", "IPv6Request"},
    {"Label", 17, K::Label, "Last confirmed:", kService, 360, 3540, 4695, 255, 41, nullptr,
     nullptr},
    // Filled at load, one line per host name.
    {"Label", kConfirmedLabel, K::Label, "", kService, 360, 3840, 4695, 2415, 42, nullptr, nullptr},
    {"chkZARVOUpdater", kShowPasswords, K::CheckBox, "Show passwords", nullptr, 360, 7050, 1800,
     375, 43, nullptr, nullptr},
    {"cmdSave", -1, K::Button, "Save", nullptr, 2280, 7080, 1455, 315, 44, nullptr, nullptr},
    {"cmdClose", -1, K::Button, "Close", nullptr, 4200, 7080, 1455, 315, 45, nullptr, nullptr},
}};

}  // namespace

std::span<const DialogControl> DialogControls() {
    return kControls;
}

bool IsPassword(const DialogControl& control) {
    return control.key != nullptr && (std::string_view(control.key) == "Password" ||
                                      std::string_view(control.key) == "Email_Password");
}

std::string ControlName(const DialogControl& control) {
    std::string name = control.name;
    return control.index < 0 ? name : name + std::to_string(control.index);
}

const DialogControl* FindControl(std::string_view name) {
    for (const DialogControl& control : kControls) {
        if (ControlName(control) == name) {
            return &control;
        }
    }
    return nullptr;
}
