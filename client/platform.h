// The platform services the client tool runs on; one implementation per platform.
#pragma once

#include <memory>

#include "client/client_clock.h"
#include "wire/socket_layer.h"

namespace ravelo {

std::unique_ptr<SocketLayer> MakeSocketLayer();
std::unique_ptr<ClientClock> MakeSystemClock();

}  // namespace ravelo
