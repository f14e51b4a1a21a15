// The remote client's end of the datagram protocol: connect with a password, keep the session
// alive from this side, say goodbye, and pass input and picture messages through.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/client_clock.h"
#include "wire/protocol.h"
#include "wire/socket_layer.h"

namespace ravelo {

struct ClientServices {
  SocketLayer& socket;
  ClientClock& clock;
};

enum class ConnectResult { kAccepted, kRefused, kNoAnswer };

class RaveloClient {
 public:
  using Bytes = std::vector<std::uint8_t>;

  // The server drops a client it has not heard from for about 15 s; a keep-alive every 2 s
  // leaves room for several lost ones.
  static constexpr int kKeepAliveIntervalMs = 2000;
  // How long one wait for the network sleeps; short, so replies are noticed promptly.
  static constexpr int kPollIntervalMs = 1;

  RaveloClient(ClientServices services, const Ipv4Endpoint& server);
  ~RaveloClient();
  RaveloClient(const RaveloClient&) = delete;
  RaveloClient& operator=(const RaveloClient&) = delete;

  // Starts the socket layer and binds `local_port` on every interface (0: any free port).
  // Returns 0, or the socket layer's error code.
  int Open(std::uint16_t local_port = 0);
  void Close();

  // Sends the connect request once and waits up to `timeout_ms` for the server's answer.
  // A refusal leaves an earlier session of this client as it was, as the server does.
  ConnectResult Connect(const std::string& password, int timeout_ms);
  // Ends the session; the server does not answer it.
  void Goodbye();
  bool IsConnected() const { return connected_; }

  // Pointer, button and key messages (types 3 to 21). Returns false, sending nothing, for
  // any other type.
  bool SendInput(std::uint8_t type, const Bytes& payload);
  // Any datagram, as is: for tests and for the picture requests.
  void SendRaw(const Bytes& datagram);

  // Keeps the session going for `duration_ms`: answers the server's keep-alives and sends
  // this side's own. Anything else the server sends meanwhile is dropped.
  void Hold(int duration_ms);
  // The next datagram from the server that is not a keep-alive, waiting up to `timeout_ms`
  // and keeping the session alive meanwhile. Picture transfer is built on this and SendRaw.
  std::optional<Bytes> Receive(int timeout_ms);
  // Like Receive, but drops datagrams for which `wanted` is false (late chunks of an
  // earlier picture, say).
  std::optional<Bytes> WaitFor(const std::function<bool(const Bytes&)>& wanted, int timeout_ms);
  // The same up to a time of the client's clock, so that several waits can share one deadline.
  std::optional<Bytes> WaitUntil(const std::function<bool(const Bytes&)>& wanted,
                                 std::int64_t deadline_ms);
  // Drops what is already waiting (answering keep-alives), for at most `limit_ms` in case
  // the datagrams never stop.
  void Discard(int limit_ms);

  // Called with the clock's time for every keep-alive the server sends.
  void OnServerKeepAlive(std::function<void(std::int64_t now_ms)> observer) {
    keep_alive_observer_ = std::move(observer);
  }
  int ServerKeepAlives() const { return server_keep_alives_; }
  int KeepAlivesSent() const { return keep_alives_sent_; }
  const Ipv4Endpoint& Server() const { return server_; }
  std::int64_t NowMs() { return clock_.NowMs(); }

 private:
  // Every wait checks its deadline and the keep-alive after each datagram, not only when
  // the socket runs dry: a steady stream of datagrams must not hold it up.
  std::optional<Bytes> Pump(std::int64_t deadline,
                            const std::function<bool(const Bytes&)>* wanted, bool until_empty);
  void SendKeepAlive();
  void Send(const std::uint8_t* data, int length);

  SocketLayer& socket_;
  ClientClock& clock_;
  const Ipv4Endpoint server_;
  bool layer_started_ = false;
  bool socket_open_ = false;
  bool connected_ = false;
  std::int64_t next_keep_alive_ms_ = 0;
  int server_keep_alives_ = 0;
  int keep_alives_sent_ = 0;
  std::function<void(std::int64_t)> keep_alive_observer_;
  std::uint8_t receive_[wire::kBufferSize] = {};
};

}  // namespace ravelo
