#include "configure/DialogCore.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "configure/DialogLayout.h"
#include "configure/DialogService.h"
#include "configure/DialogSettings.h"
#include "platform/RuntimeError.h"
#include "settings/INIFile.h"
#include "settings/modFunktions.h"

namespace {

// The service converts both at every cycle and counts Interval × 60 seconds in 32 bits; a
// value it cannot take would make every cycle fail.
constexpr std::int32_t kIntervalLimit = std::numeric_limits<std::int32_t>::max() / 60;

struct NumberField {
    int index;  // of the box and its label
    std::int32_t lowest;
    std::int32_t highest;
};

constexpr std::array<NumberField, 3> kNumberFields{{
    {4, -kIntervalLimit, kIntervalLimit},
    {5, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()},
    // Days, 0 for never; a refresh further off than that would never come.
    {11, 0, std::numeric_limits<std::int16_t>::max()},
}};

const DialogControl& Control(const char* name, int index) {
    if (const DialogControl* control = FindControl(name + std::to_string(index))) {
        return *control;
    }
    throw std::logic_error("no control " + std::string(name));
}

std::filesystem::path FilePath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The loader takes a file it cannot read for a missing one and would show the defaults, and a
// Save would then overwrite the real settings with them. Only a file that is not there at all
// may stand for the defaults; a FIFO is refused before anything waits for a writer on it.
bool ReadableOrMissing(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(FilePath(path), error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return true;
    }
    return !error && std::filesystem::is_regular_file(status) &&
           std::ifstream(FilePath(path)).is_open();
}

std::string LoadFailureText(const std::string& path, const platform::RuntimeError& error) {
    std::string text = path.empty() ? "The settings cannot be loaded: the dialog's own "
                                      "directory is unknown.\n\n"
                                    : "The settings in \"" + path + "\" cannot be loaded.\n\n";
    if (const auto* conversion = dynamic_cast<const SettingsConversionError*>(&error)) {
        text += "The key \"" + conversion->Key() + "\" in section [" + conversion->Section() +
                "] has the value \"" + conversion->Value() + "\": ";
    }
    return text + error.Text();
}

void Fill(DialogValues& values, const AppSettingsRecord& settings) {
    values.Text = {settings.Username,
                   settings.Password,
                   settings.Host,
                   settings.StaticIPAddress,
                   std::to_string(settings.Interval),
                   std::to_string(settings.ErrorCounter),
                   settings.Email_Receiver,
                   settings.Email_Sender,
                   settings.Email_Server,
                   settings.Email_Username,
                   settings.Email_Password};
    values.chkZARVOUpdater[0] = settings.ZARVOUpdater;
    values.chkZARVOUpdater[1] = settings.Email;
}

bool NumberAccepted(const DialogValues& values, const NumberField& field, DialogMessage& message) {
    const std::string& value = values.Text[field.index];
    std::string problem;
    try {
        const std::int32_t number = ToInt32(value);
        if (number >= field.lowest && number <= field.highest) {
            return true;
        }
        problem = platform::errors::OverflowError().Text();
    } catch (const platform::RuntimeError& error) {
        problem = error.Text();
    }
    std::string caption = Control("Label", field.index).caption;
    if (caption.ends_with(':')) {
        caption.pop_back();
    }
    message = {DialogMessage::Kind::Warning,
               caption + " (" + Control("Text", field.index).key + "): \"" + value +
                   "\" is not a whole number from " + std::to_string(field.lowest) + " to " +
                   std::to_string(field.highest) + " (" + problem +
                   ").\n\nThe settings were not saved."};
    return false;
}

bool InServiceFrame(const DialogControl& control) {
    return control.frame != nullptr && std::string_view(control.frame) == kServiceFrame;
}

}  // namespace

bool LoadDialogValues(DialogValues& values, DialogMessage& message) {
    std::string path;
    try {
        path = DialogIniPath();
        if (!ReadableOrMissing(path)) {
            message = {DialogMessage::Kind::Critical,
                       "The settings file " + path +
                           " cannot be read. Start the dialog as a user who may read it, for "
                           "example with sudo."};
            return false;
        }
        AppSettingsRecord settings;
        LoadDialogSettings(settings);
        Fill(values, settings);
        LoadServiceFrame(values, path);
        return true;
    } catch (const platform::RuntimeError& error) {
        message = {DialogMessage::Kind::Critical, LoadFailureText(path, error)};
        return false;
    }
}

bool SaveDialogValues(const DialogValues& values, DialogMessage& message) {
    for (const NumberField& field : kNumberFields) {
        if (!NumberAccepted(values, field, message)) {
            return false;
        }
    }
    bool anyWritten = false;
    for (const DialogControl& control : DialogControls()) {
        if (control.key == nullptr) {
            continue;
        }
        const std::optional<std::string> text =
            InServiceFrame(control) ? ServiceFrameText(values, control) : ValueOf(values, control);
        if (!text) {
            continue;
        }
        std::string path;
        try {
            path = DialogIniPath();
        } catch (const platform::RuntimeError&) {
        }
        if (!path.empty() && WriteIniValue(control.section, control.key, *text, path)) {
            anyWritten = true;
            continue;
        }
        // Later keys would most likely fail the same way; stopping keeps the report exact.
        const std::string partly = anyWritten ? " completely; the keys before \"" +
                                                    std::string(control.key) + "\" were written"
                                              : std::string();
        const std::string why = path.empty() ? "The program's own directory is unknown."
                                             : "\"" + path + "\" cannot be written.";
        message = {DialogMessage::Kind::Warning,
                   "The settings were not saved" + partly + ".\n\n" + why};
        return false;
    }
    return true;
}

SingleLineText DropLineBreaks(std::u16string_view text, std::size_t cursor) {
    SingleLineText single{{}, cursor};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n' || c == u'\0') {
            single.cursor -= i < cursor ? 1 : 0;
        } else {
            single.text += c;
        }
    }
    return single;
}
