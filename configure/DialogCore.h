#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

/// One entry of a list box: the value stored in the file and what the list shows for it.
struct DialogChoice {
    std::string value;
    std::string caption;
};

/// What the dialog's editing controls hold, indexed like the control arrays they belong to.
struct DialogValues {
    std::array<std::string, 14> Text;
    std::array<bool, 5> chkZARVOUpdater{};
    std::array<std::string, 3> cboZARVO;  // the chosen values
    /// Filled at load: each list's entries, a value the list does not know (set by hand) last.
    std::array<std::vector<DialogChoice>, 3> choices;
    /// Filled at load: per host name what the service last confirmed, one line each.
    std::string confirmed;
    /// The texts the file held at load for the keys written only when changed, by
    /// "[section] key"; a key the file did not hold is missing.
    std::map<std::string, std::string> stored;
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

/// Save click: writes the thirteen keys of the account and application frames in tab order, then
/// the keys of the third frame that the user changed (one left as loaded keeps its text, or stays
/// missing). `values` is a copy of the loaded ones with the controls' contents put in. False,
/// with `message` set, when a number is refused (nothing is written then) or a write fails.
bool SaveDialogValues(const DialogValues& values, DialogMessage& message);

/// A box's text after an edit with the line breaks taken out, and where its cursor goes.
struct SingleLineText {
    std::u16string text;
    std::size_t cursor;
};

/// The settings file holds one line per value, so a box drops the line breaks (and NUL
/// characters) of pasted text; `cursor` keeps its place among the characters that remain.
SingleLineText DropLineBreaks(std::u16string_view text, std::size_t cursor);
