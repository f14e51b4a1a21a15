// Text on the wire is Latin-1, one byte a character: the password of a connect request and the
// characters of key messages, as a Windows client in a Western code page sends them. Text typed
// on Linux is UTF-8 and is converted at the edge.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ravelo {

// The Latin-1 bytes of UTF-8 text; none when the text is not UTF-8 or holds a character
// beyond U+00FF.
inline std::optional<std::string> Utf8ToLatin1(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size() &&
               (static_cast<std::uint8_t>(utf8[i + 1]) & 0xC0) == 0x80) {
      out += static_cast<char>((b & 0x03) << 6 | (static_cast<std::uint8_t>(utf8[++i]) & 0x3F));
    } else {
      return std::nullopt;  // a longer sequence (beyond Latin-1) or not UTF-8 at all
    }
  }
  return out;
}

// Whether `text` is well-formed UTF-8 (with any number of bytes beyond ASCII).
inline bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    const int extra = b < 0x80 ? 0 : b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
    if (extra < 0 || text.size() - i <= static_cast<std::size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      if ((static_cast<std::uint8_t>(text[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

inline std::string Latin1ToUtf8(const std::string& latin1) {
  std::string out;
  for (char c : latin1) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | b >> 6);
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

}  // namespace ravelo
