#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

/// What the dialog's editing controls hold, indexed like the control arrays they belong to.
struct DialogValues {
    std::array<std::string, 11> Text;
    std::array<bool, 2> chkZARVOUpdater{};
};

/// A message the dialog shows the user; Critical ends the program, Warning leaves it open.
struct DialogMessage {
    enum class Kind { Critical, Warning };
    Kind kind = Kind::Critical;
    std::string text;
};

/// Window load: fills `values` through the dialog's settings loader. False, with `message` set,
/// when the settings cannot be loaded; the window must then not be shown.
bool LoadDialogValues(DialogValues& values, DialogMessage& message);

/// Save click: writes the thirteen keys in tab order. False, with `message` set, when a number
/// is refused (nothing is written then) or a write fails.
bool SaveDialogValues(const DialogValues& values, DialogMessage& message);

/// A box's text after an edit with the line breaks taken out, and where its cursor goes.
struct SingleLineText {
    std::u16string text;
    std::size_t cursor;
};

/// The settings file holds one line per value, so a box drops the line breaks (and NUL
/// characters) of pasted text; `cursor` keeps its place among the characters that remain.
SingleLineText DropLineBreaks(std::u16string_view text, std::size_t cursor);
