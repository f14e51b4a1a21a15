// The platform's socket layer over loopback: natively the BSD layer (receiving as the BSDs
// do, see bsd_receive_shim.cpp), under Wine Winsock.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "client/platform.h"
#include "fake_socket_layer.h"  // Endpoint()
#include "wire/protocol.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SocketLayerLoopback, OverLongDatagramsAreDroppedWhole) {
  std::unique_ptr<SocketLayer> receiver = MakeSocketLayer();
  std::unique_ptr<SocketLayer> sender = MakeSocketLayer();
  ASSERT_EQ(receiver->Startup(), 0);
  ASSERT_EQ(sender->Startup(), 0);
  std::uint16_t port = 0;
  for (std::uint16_t p = 39888; p < 39988 && port == 0; ++p) {
    if (receiver->OpenAndBind(p) == 0) port = p;
  }
  ASSERT_NE(port, 0) << "no free UDP port in 39888..39987";
  ASSERT_TRUE(receiver->SetNonBlocking());
  ASSERT_EQ(sender->OpenAndBind(0), 0);

  const int limit = wire::kMaxDatagram;
  const Bytes sent[] = {Bytes(limit + 1, 0xA1), Bytes(limit, 0xB2), Bytes(4000, 0xC3),
                        Bytes(limit + 1, 0xD4), Bytes(1, 0xE5)};
  for (const Bytes& d : sent) {
    sender->SendTo(d.data(), static_cast<int>(d.size()), Endpoint(127, 0, 0, 1, port));
  }

  // Only the two that fit come through, whole, and nothing is written past the limit.
  std::vector<Bytes> received;
  Bytes buffer(limit + 64);
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < give_up) {
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    Ipv4Endpoint from;
    const int n = receiver->ReceiveFrom(buffer.data(), limit, &from);
    ASSERT_EQ(Bytes(buffer.begin() + limit, buffer.end()), Bytes(64, 0xEE));
    if (n > 0) {
      received.emplace_back(buffer.begin(), buffer.begin() + n);
      // Loopback keeps the order: once the last one is in, a short look for stragglers.
      if (received.back() == sent[4]) {
        give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
      }
      EXPECT_EQ(from.address, (std::array<std::uint8_t, 4>{127, 0, 0, 1}));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  EXPECT_EQ(received, (std::vector<Bytes>{sent[1], sent[4]}));

  receiver->Close();
  sender->Close();
  receiver->Cleanup();
  sender->Cleanup();
}

}  // namespace
}  // namespace ravelo
