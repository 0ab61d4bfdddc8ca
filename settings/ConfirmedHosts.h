#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"

/// The host names of the Host key: comma-separated, blanks around each ignored; always at least
/// one, empty when the key is.
std::vector<std::string> HostNames(const std::string& host);

/// What the provider last confirmed for one host name, as the settings file keeps it.
struct ConfirmedHost {
    std::string name;
    std::string LastIPAdress;
    std::string LastIPv6Adress;
    /// The host, account and server the addresses were confirmed for; empty in older files.
    std::string LastIPHost;
    /// The time of the last confirmed update, UTC; empty in older files.
    std::string LastUpdate;
};

/// The section that keeps a name's state: [WAN] with a single name, [WAN <name>] with several.
std::string ConfirmedSection(const std::string& name, std::size_t names);

/// The confirmed state of each name of `host`, in its order, read from `file`.
std::vector<ConfirmedHost> ReadConfirmedHosts(const std::string& host, const std::string& file);

/// What a confirmed update stores for a name: the address of each family it sent.
struct Confirmation {
    std::optional<std::string> IPv4, IPv6;
    /// The host, account and server they were confirmed for.
    std::string confirmedFor;
    /// The time of the confirmation, as UtcText writes it.
    std::string time;
};

/// Writes `confirmation` over the state `before` of one of `names` names in `file`; the state
/// afterwards. Addresses, host and time go into the file in one write, so that a failed write
/// never pairs the host with an older address and costs the file one replacement an update; an
/// address confirmed for another host is dropped with the host's change.
ConfirmedHost WriteConfirmedHost(const ConfirmedHost& before, const Confirmation& confirmation,
                                 std::size_t names, const std::string& file);

/// `time` as UTC in ISO 8601 to the second: 2026-12-08T02:05:00Z.
std::string UtcText(platform::TimePoint time);
/// The time of such a text; nothing for any other text.
std::optional<platform::TimePoint> ParseUtcText(const std::string& text);
