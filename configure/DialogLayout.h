#pragma once

#include <span>
#include <string>
#include <string_view>

/// What a control of the dialog is; each front end makes its own widget of that kind.
enum class ControlKind { Frame, Label, TextBox, CheckBox, ComboBox, Button };

/// One control of the dialog's window. Measures are in twips (15 to a pixel at 96 dpi), inside
/// a frame relative to that frame.
struct DialogControl {
    const char* name;  // the control, or its control array
    int index;         // index within the control array; -1 for a control of its own
    ControlKind kind;
    const char* caption;
    const char* frame;  // the frame it stands in; nullptr for the window itself
    int left;
    int top;
    int width;
    int height;
    int tabIndex;
    const char* section;  // the settings key it edits, nullptr for none
    const char* key;
};

inline constexpr const char* kFormName = "frmmain";
inline constexpr const char* kFormCaption = "Configuration";
inline constexpr int kClientWidthTwips = 11655;
inline constexpr int kClientHeightTwips = 7620;
/// The layout was drawn for a small dialog font; the desktop's usual one cuts the longer
/// captions off. Its height in pixels at 96 dpi.
inline constexpr int kFontPixels = 11;

/// Every control of the window in tab order; frames come before the controls inside them.
std::span<const DialogControl> DialogControls();

/// The frame whose keys are written only when the user changed them; the others always are.
inline constexpr const char* kServiceFrame = "frmService";
/// The label that shows, one line per host name, what the service last confirmed.
inline constexpr int kConfirmedLabel = 18;
/// The check box that shows the passwords while it is ticked.
inline constexpr int kShowPasswords = 4;

/// Whether the text box holds a password, shown as bullets unless the passwords are shown.
bool IsPassword(const DialogControl& control);

/// The name by which tests find the control: the array name followed by its index, "Text4".
std::string ControlName(const DialogControl& control);

/// The control of that name as ControlName gives it; nullptr when the window has none.
const DialogControl* FindControl(std::string_view name);
