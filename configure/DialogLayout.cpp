#include "configure/DialogLayout.h"

#include <array>

namespace {

constexpr const char* kAccount = "frmAccount";
constexpr const char* kApplication = "frmApplication";
constexpr const char* kApp = "Application";
using K = ControlKind;

// Tab order follows the rows, each label before its box; the save writes the keys in the same
// order.
constexpr std::array<DialogControl, 28> kControls{{
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
    {"cmdSave", -1, K::Button, "Save", nullptr, 2280, 7080, 1455, 315, 26, nullptr, nullptr},
    {"cmdClose", -1, K::Button, "Close", nullptr, 4200, 7080, 1455, 315, 27, nullptr, nullptr},
}};

}  // namespace

std::span<const DialogControl> DialogControls() {
    return kControls;
}

std::string ControlName(const DialogControl& control) {
    std::string name = control.name;
    return control.index < 0 ? name : name + std::to_string(control.index);
}
