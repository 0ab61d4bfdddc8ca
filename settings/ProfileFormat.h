#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The INI text format of the profile functions, apart from any file: what a reader finds in a
// file's content and what a writer puts in its place. Both platforms' file code builds on it.
namespace settings {

/// The value of `key` in `section` of `content`, trimmed, unquoted and cut to `size` - 1
/// characters, never inside a UTF-8 sequence; nothing when the section or key is missing.
std::optional<std::string> ProfileValue(std::string_view content, std::string_view section,
                                        std::string_view key, std::size_t size);
/// `value` cut the way a value read from the file is cut.
std::string ProfileDefault(std::string_view value, std::size_t size);
/// What a read gives: the key's value in `content`, or the default when there is no content
/// (no readable file) or no such key, both cut to `size` - 1 characters.
std::string ProfileValueOrDefault(const std::optional<std::string>& content,
                                  std::string_view section, std::string_view key,
                                  std::string_view defaultValue, std::size_t size);
/// `content` with `key` in `section` set to `value`; every other line keeps its bytes.
std::string ProfileUpdated(std::string_view content, std::string_view section, std::string_view key,
                           const std::string& value);
/// Whether the names and the value can be stored as one line that reads back as that key.
bool ProfileStorable(std::string_view section, std::string_view key, std::string_view value);

/// Keys of one section with their values, in the order they are set.
using ProfileEntries = std::vector<std::pair<std::string, std::string>>;
/// `content` with each of `entries` set in `section`, in their order.
std::string ProfileUpdated(std::string content, std::string_view section,
                           const ProfileEntries& entries);
/// Whether every one of `entries` can be stored in `section`.
bool ProfileStorable(std::string_view section, const ProfileEntries& entries);

}  // namespace settings
