// The desktop portal's restore token, kept in a file of its own beside the settings file
// (mode 0600), so that a portal that can remember the user's answer asks only once.
#pragma once

#include <cstddef>
#include <string>

namespace ravelo {

// The token file in the settings file's directory; empty when the settings path is.
std::string RestoreTokenFilePath(const std::string& settingsPath);

// Tokens are short printable text (portals hand out UUIDs); anything else is not one.
constexpr std::size_t kMaxRestoreToken = 256;
bool IsRestoreToken(const std::string& text);

// The stored token; empty when there is none, or what is there is not a token.
std::string LoadRestoreToken(const std::string& path);
// Replaces the stored token in one step; false when it could not be written.
bool SaveRestoreToken(const std::string& path, const std::string& token);

}  // namespace ravelo
