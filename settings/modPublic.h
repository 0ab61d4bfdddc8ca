#pragma once

#include <cstdint>
#include <string>

/// The settings record: every field carries the name of its key in the settings file.
struct AppSettingsRecord {
    std::int16_t Backups = 0;
    bool IsDebug = false;
    std::int32_t LogfileLen = 0;
    std::int16_t Loglevel = 0;
    bool ZARVOUpdater = false;
    bool Email = false;
    std::string Email_Receiver;
    std::string Email_Sender;
    std::string Email_Server;
    std::string Email_Username;
    std::string Email_Password;
    std::string ZARVOServer;
    std::string WANIPAdress;
    std::string Username;
    std::string Password;
    std::string Host;
    std::string StaticIPAddress;
    std::string LastIPAdress;
    /// The host, account and server LastIPAdress was confirmed for; empty in older files.
    std::string LastIPHost;
    std::int32_t Interval = 0;
    std::int16_t ErrorCounter = 0;
    // The host's IPv6 address beside (or, on a line without its own IPv4 address, instead of)
    // the IPv4 one; without these keys the service does what it did before they existed.
    bool IPv6 = false;
    bool IPv4 = true;
    std::string IPv6Request;
    std::string WANIPv6Source;
    std::string StaticIPv6Address;
    std::string LastIPv6Adress;
    /// A built-in provider's name; empty for the own provider at ZARVOServer.
    std::string Provider;
    /// Days after which a confirmed update goes out again with an unchanged address; 0: never.
    std::int32_t RefreshDays = 0;
    /// Where the IPv4 address comes from: "echo" (the echo page WANIPAdress) or "router".
    std::string WANIPSource;
};

/// The process-wide settings, filled by LoadSettings and read everywhere else.
extern AppSettingsRecord AppSettings;

/// Ticks counted since the last run of the update cycle; not stored anywhere.
extern std::int32_t TickCounter;
/// Update requests sent since the last "good" or "nochg" answer; not stored anywhere.
extern std::int16_t CurrentErrorCounter;
