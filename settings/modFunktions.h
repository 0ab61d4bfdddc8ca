#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/RuntimeError.h"
#include "settings/SettingsFile.h"
#include "settings/modPublic.h"

/// Refills AppSettings from SettingsFilePath(), the settings file of the running program.
void LoadSettings();

/// `value` as a load would read it back once written: a value is read up to a length, so a text
/// that is compared with a stored one is cut in the same way first.
std::string AsReadBack(const std::string& value);

/// Which keys a load reads: all of them (the service), or those the settings dialog edits together
/// with the log settings, which must still convert.
enum class SettingsKeys { All, Dialog };

/// The loader behind LoadSettings, for any record and file. `filePath` is asked again for every
/// key. A value that does not convert ends the load at its key with SettingsConversionError; the
/// keys read before it keep their new values.
void LoadSettingsInto(AppSettingsRecord& record, const std::function<std::string()>& filePath,
                      SettingsKeys keys);

/// The conversions of stored texts. Integers take blanks around, a sign and decimal digits and
/// fail with "[13] Type mismatch" on anything else, with "[6] Overflow" beyond the type's range.
std::int32_t ToInt32(const std::string& text);
std::int16_t ToInt16(const std::string& text);
/// "True" or "False" in any letter case, or an integer (0 is false); else "[13] Type mismatch".
bool ToBoolean(const std::string& text);
/// A switch is on exactly when its text is "on".
bool SwitchIsOn(const std::string& text);

/// A stored value that does not convert: the conversion's error, with the key that held the value.
class SettingsConversionError : public platform::RuntimeError {
  public:
    SettingsConversionError(const platform::RuntimeError& error, std::string section,
                            std::string key, std::string value);

    const std::string& Section() const { return section_; }
    const std::string& Key() const { return key_; }
    const std::string& Value() const { return value_; }

  private:
    std::string section_;
    std::string key_;
    std::string value_;
};
