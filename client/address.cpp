#include "client/address.h"

namespace ravelo {

std::optional<Ipv4Endpoint> ParseIpv4(const std::string& text, std::uint16_t port) {
  Ipv4Endpoint e;
  e.port = port;
  std::size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    int value = 0;
    std::size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
      value = value * 10 + (text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
    e.address[static_cast<std::size_t>(part)] = static_cast<std::uint8_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return e;
}

std::string FormatEndpoint(const Ipv4Endpoint& e) {
  return std::to_string(e.address[0]) + "." + std::to_string(e.address[1]) + "." +
         std::to_string(e.address[2]) + "." + std::to_string(e.address[3]) + ":" +
         std::to_string(e.port);
}

}  // namespace ravelo
