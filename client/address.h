// Dotted-quad IPv4 addresses as the user types them.
#pragma once

#include <optional>
#include <string>

#include "wire/socket_layer.h"

namespace ravelo {

// "a.b.c.d" with each number 0..255 in plain decimal; no host names.
std::optional<Ipv4Endpoint> ParseIpv4(const std::string& text, std::uint16_t port);
// "a.b.c.d:port"
std::string FormatEndpoint(const Ipv4Endpoint& endpoint);

}  // namespace ravelo
