#include "client/client.h"

#include <algorithm>

namespace ravelo {

RaveloClient::RaveloClient(ClientServices services, const Ipv4Endpoint& server)
    : socket_(services.socket), clock_(services.clock), server_(server) {}

RaveloClient::~RaveloClient() { Close(); }

int RaveloClient::Open(std::uint16_t local_port) {
  Close();
  int error = socket_.Startup();
  if (error != 0) return error;
  layer_started_ = true;
  error = socket_.OpenAndBind(local_port);
  socket_open_ = true;  // a failed bind may still leave a socket to close
  if (error == 0 && !socket_.SetNonBlocking()) error = -1;
  if (error != 0) Close();
  return error;
}

void RaveloClient::Close() {
  if (socket_open_) socket_.Close();
  if (layer_started_) socket_.Cleanup();
  socket_open_ = false;
  layer_started_ = false;
  connected_ = false;
}

ConnectResult RaveloClient::Connect(const std::string& password, int timeout_ms) {
  Bytes request{wire::kConnect};
  request.insert(request.end(), password.begin(), password.end());
  SendRaw(request);
  auto is_answer = [](const Bytes& d) { return d.size() >= 2 && d[0] == wire::kConnect; };
  std::optional<Bytes> answer = WaitFor(is_answer, timeout_ms);
  if (!answer) return ConnectResult::kNoAnswer;
  if ((*answer)[1] != wire::kAccepted) return ConnectResult::kRefused;
  connected_ = true;
  next_keep_alive_ms_ = clock_.NowMs() + kKeepAliveIntervalMs;
  return ConnectResult::kAccepted;
}

void RaveloClient::Goodbye() {
  const std::uint8_t goodbye = wire::kGoodbye;
  Send(&goodbye, 1);
  connected_ = false;
}

bool RaveloClient::SendInput(std::uint8_t type, const Bytes& payload) {
  if (type < wire::kPointerAbsolute || type > wire::kKeyUpAlt) return false;
  Bytes datagram{type};
  datagram.insert(datagram.end(), payload.begin(), payload.end());
  SendRaw(datagram);
  return true;
}

void RaveloClient::SendRaw(const Bytes& datagram) {
  Send(datagram.data(), static_cast<int>(datagram.size()));
}

void RaveloClient::Hold(int duration_ms) {
  Pump(clock_.NowMs() + duration_ms, nullptr, false);
}

std::optional<RaveloClient::Bytes> RaveloClient::Receive(int timeout_ms) {
  auto any = [](const Bytes&) { return true; };
  return WaitFor(any, timeout_ms);
}

std::optional<RaveloClient::Bytes> RaveloClient::WaitFor(
    const std::function<bool(const Bytes&)>& wanted, int timeout_ms) {
  return WaitUntil(wanted, clock_.NowMs() + timeout_ms);
}

std::optional<RaveloClient::Bytes> RaveloClient::WaitUntil(
    const std::function<bool(const Bytes&)>& wanted, std::int64_t deadline_ms) {
  return Pump(deadline_ms, &wanted, false);
}

void RaveloClient::Discard(int limit_ms) { Pump(clock_.NowMs() + limit_ms, nullptr, true); }

std::optional<RaveloClient::Bytes> RaveloClient::Pump(
    std::int64_t deadline, const std::function<bool(const Bytes&)>* wanted, bool until_empty) {
  for (;;) {
    Ipv4Endpoint source;
    const int n = socket_.ReceiveFrom(receive_, wire::kBufferSize, &source);
    // Someone else's datagram must not be taken for the server's answer.
    if (n > 0 && source == server_) {
      if (receive_[0] == wire::kKeepAlive) {
        ++server_keep_alives_;
        if (keep_alive_observer_) keep_alive_observer_(clock_.NowMs());
        if (connected_) SendKeepAlive();
      } else {
        Bytes datagram(receive_, receive_ + n);
        if (wanted && (*wanted)(datagram)) return datagram;
      }
    }
    const std::int64_t now = clock_.NowMs();
    if (connected_ && now >= next_keep_alive_ms_) SendKeepAlive();
    if (now >= deadline) return std::nullopt;
    if (n != 0) continue;  // more may be waiting, also behind a dropped datagram
    if (until_empty) return std::nullopt;
    const std::int64_t nap = std::min<std::int64_t>(kPollIntervalMs, deadline - now);
    clock_.Nap(socket_, static_cast<int>(nap));
  }
}

void RaveloClient::SendKeepAlive() {
  const std::uint8_t keep_alive = wire::kKeepAlive;
  Send(&keep_alive, 1);
  ++keep_alives_sent_;
  next_keep_alive_ms_ = clock_.NowMs() + kKeepAliveIntervalMs;
}

void RaveloClient::Send(const std::uint8_t* data, int length) {
  if (socket_open_ && length > 0) socket_.SendTo(data, length, server_);
}

}  // namespace ravelo
