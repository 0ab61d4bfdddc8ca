#include "settings/modFunktions.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/Text.h"
#include "settings/INIFile.h"
#include "settings/ProfileFormat.h"
#include "settings/Providers.h"

namespace {

// Blanks around, an optional sign, decimal digits; nothing else. The magnitude saturates far
// beyond every field's range, so that any run of digits stays a number that merely overflows.
std::optional<std::int64_t> ParseInteger(std::string_view text) {
    constexpr std::int64_t kSaturated = std::int64_t{1} << 40;
    text = platform::TrimBlanks(text);
    bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        magnitude = std::min(magnitude * 10 + (c - '0'), kSaturated);
    }
    return negative ? -magnitude : magnitude;
}

template <typename T>
T ToInteger(const std::string& text) {
    std::optional<std::int64_t> value = ParseInteger(text);
    if (!value) {
        throw platform::errors::TypeMismatchError();
    }
    if (*value < std::numeric_limits<T>::min() || *value > std::numeric_limits<T>::max()) {
        throw platform::errors::OverflowError();
    }
    return static_cast<T>(*value);
}

std::string AsText(const std::string& text) {
    return text;
}

// Only "off" leaves a family out that is in by default.
bool SwitchIsNotOff(const std::string& text) {
    return text != "off";
}

template <auto Field, auto Convert>
void StoreAs(AppSettingsRecord& record, const std::string& text) {
    record.*Field = Convert(text);
}

struct SettingsKey {
    const char* section;
    const char* key;
    const char* defaultValue;
    bool readByDialog;
    void (*store)(AppSettingsRecord&, const std::string&);
};

using R = AppSettingsRecord;

// Every key of the settings file, in the order in which they are read.
constexpr std::array<SettingsKey, 30> kSettingsKeys{{
    {"Application", "Interval", "10", true, StoreAs<&R::Interval, ToInt32>},
    {"Application", "Backups", "10", true, StoreAs<&R::Backups, ToInt16>},
    {"Application", "IsDebug", "False", true, StoreAs<&R::IsDebug, ToBoolean>},
    {"Application", "LogfileLen", "10000", true, StoreAs<&R::LogfileLen, ToInt32>},
    {"Application", "Loglevel", "1", true, StoreAs<&R::Loglevel, ToInt16>},
    // "True" is no "on": without the key, the update stays off.
    {"Application", "ZARVOUpdater", "True", true, StoreAs<&R::ZARVOUpdater, SwitchIsOn>},
    {"Application", "Email", "", true, StoreAs<&R::Email, SwitchIsOn>},
    {"Application", "Email_Receiver", "", true, StoreAs<&R::Email_Receiver, AsText>},
    {"Application", "Email_Sender", "", true, StoreAs<&R::Email_Sender, AsText>},
    {"Application", "Email_Server", "", true, StoreAs<&R::Email_Server, AsText>},
    {"Application", "Email_Username", "", true, StoreAs<&R::Email_Username, AsText>},
    {"Application", "Email_Password", "", true, StoreAs<&R::Email_Password, AsText>},
    {"Application", "ErrorCounter", "5", true, StoreAs<&R::ErrorCounter, ToInt16>},
    // https: without a settings file the account's password must not cross the network readable.
    {"ZARVO", "ZARVOServer", "https://dyndns.zarvo.example", false,
     StoreAs<&R::ZARVOServer, AsText>},
    {"ZARVO", "WANIPAdress", "https://ip.zarvo.example/meineip.php", false,
     StoreAs<&R::WANIPAdress, AsText>},
    {"ACCOUNT", "Username", "Username", true, StoreAs<&R::Username, AsText>},
    {"ACCOUNT", "Password", "password", true, StoreAs<&R::Password, AsText>},
    {"ACCOUNT", "Host", "myhost.zarvo.example", true, StoreAs<&R::Host, AsText>},
    {"ACCOUNT", "StaticIPAddress", "", true, StoreAs<&R::StaticIPAddress, AsText>},
    {"WAN", "LastIPAdress", "", false, StoreAs<&R::LastIPAdress, AsText>},
    {"WAN", "LastIPHost", "", false, StoreAs<&R::LastIPHost, AsText>},
    {"Application", "IPv6", "", false, StoreAs<&R::IPv6, SwitchIsOn>},
    {"Application", "IPv4", "on", false, StoreAs<&R::IPv4, SwitchIsNotOff>},
    {"ZARVO", "IPv6Request", "", false, StoreAs<&R::IPv6Request, AsText>},
    {"ZARVO", "WANIPv6Source", "interface", false, StoreAs<&R::WANIPv6Source, AsText>},
    {"ACCOUNT", "StaticIPv6Address", "", false, StoreAs<&R::StaticIPv6Address, AsText>},
    {"WAN", "LastIPv6Adress", "", false, StoreAs<&R::LastIPv6Adress, AsText>},
    {"ZARVO", "Provider", "", false, StoreAs<&R::Provider, AsText>},
    {"ZARVO", "RefreshDays", "25", false, StoreAs<&R::RefreshDays, ToInt32>},
    {"ZARVO", "WANIPSource", "echo", false, StoreAs<&R::WANIPSource, AsText>},
}};

constexpr std::int16_t kReadSize = 256;

// Every field starts from 0, false or empty, except these three: a load that fails before
// reaching them leaves them as the previous load left them.
void Reset(AppSettingsRecord& record) {
    AppSettingsRecord fresh;
    fresh.Email_Sender = std::move(record.Email_Sender);
    fresh.Email_Username = std::move(record.Email_Username);
    fresh.ErrorCounter = record.ErrorCounter;
    record = std::move(fresh);
}

}  // namespace

SettingsConversionError::SettingsConversionError(const platform::RuntimeError& error,
                                                 std::string section, std::string key,
                                                 std::string value)
    : platform::RuntimeError(error.Number(), error.Description()),
      section_(std::move(section)),
      key_(std::move(key)),
      value_(std::move(value)) {}

std::int32_t ToInt32(const std::string& text) {
    return ToInteger<std::int32_t>(text);
}
std::int16_t ToInt16(const std::string& text) {
    return ToInteger<std::int16_t>(text);
}

bool ToBoolean(const std::string& text) {
    std::string_view body = platform::TrimBlanks(text);
    if (platform::EqualsIgnoringCase(body, "true")) {
        return true;
    }
    if (platform::EqualsIgnoringCase(body, "false")) {
        return false;
    }
    std::optional<std::int64_t> number = ParseInteger(body);
    if (!number) {
        throw platform::errors::TypeMismatchError();
    }
    return *number != 0;
}

bool SwitchIsOn(const std::string& text) {
    return text == "on";
}

void LoadSettingsInto(AppSettingsRecord& record, const std::function<std::string()>& filePath,
                      SettingsKeys keys) {
    Reset(record);
    for (const SettingsKey& entry : kSettingsKeys) {
        if (keys == SettingsKeys::Dialog && !entry.readByDialog) {
            continue;
        }
        std::string text =
            ReadIniValue(entry.section, entry.key, entry.defaultValue, filePath(), kReadSize);
        try {
            entry.store(record, text);
        } catch (const platform::RuntimeError& error) {
            throw SettingsConversionError(error, entry.section, entry.key, text);
        }
    }
    // The provider's server stands in for the default, never for a server the file names.
    std::optional<ProviderRule> provider = FindProvider(record.Provider);
    if (keys == SettingsKeys::All && provider &&
        ReadIniValue("ZARVO", "ZARVOServer", "", filePath(), kReadSize).empty()) {
        record.ZARVOServer = provider->server;
    }
}

std::string AsReadBack(const std::string& value) {
    return settings::ProfileDefault(value, static_cast<std::size_t>(kReadSize));
}

void LoadSettings() {
    LoadSettingsInto(
        AppSettings, [] { return SettingsFilePath(); }, SettingsKeys::All);
}
