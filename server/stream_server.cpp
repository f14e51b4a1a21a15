#include "server/stream_server.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace ravelo {
namespace {

// The log texts the user reads.
constexpr const char kAlreadyRunning[] = "Server is already running.";
constexpr const char kStartupFailed[] = "Stupid Winsock couldn't startup. Error: %i";
constexpr const char kBindFailed[] = "bind() error: %i. This probably means port %i is already in use.";
constexpr const char kNonBlockingFailed[] = "Set nonblocking failed.";
constexpr const char kOpened[] = "Server opened on port %i.";
constexpr const char kClosed[] = "Server closed.";
constexpr const char kDisconnected[] = "Client disconnected.";
constexpr const char kTimedOutText[] = "Client timed out.";
constexpr const char kRejected[] = "Connection rejected from %i.%i.%i.%i.";
constexpr const char kAcceptedText[] = "Connection accepted from %i.%i.%i.%i.";
constexpr const char kSlowingDown[] = "Too many wrong passwords from %i.%i.%i.%i; slowing it down.";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::uint16_t OverviewToDesktop(std::uint8_t p, std::uint16_t extent, int span) {
  int offset = p - wire::kEdgeOffset;
  if (offset < 0) offset = 0;
  return static_cast<std::uint16_t>(extent * offset / span);
}

}  // namespace

RegionOrigin RegionOriginFor(std::uint8_t p0, std::uint8_t p1, std::uint16_t desktopWidth,
                             std::uint16_t desktopHeight) {
  return {OverviewToDesktop(p0, desktopWidth, wire::kSpanX),
          OverviewToDesktop(p1, desktopHeight, wire::kSpanY)};
}

StreamServer::StreamServer(int port, ServerServices services)
    : port_(port),
      socket_(services.socket),
      log_(services.log),
      input_(services.input),
      desktop_(services.desktop) {
  client_.port = static_cast<std::uint16_t>(port);
  full_view_.readyType = wire::kFullView;
  full_view_.chunkType = wire::kFullChunk;
  region_view_.readyType = wire::kRegionView;
  region_view_.chunkType = wire::kRegionChunk;
}

bool StreamServer::StartServer(const std::string& password) {
  if (running_) {
    log_.LogMessage(kAlreadyRunning);
    return false;
  }
  int error = socket_.Startup();
  if (error != 0) {
    log_.LogMessage(kStartupFailed, error);
    return false;
  }
  layer_started_ = true;
  error = socket_.OpenAndBind(static_cast<std::uint16_t>(port_));
  socket_open_ = true;  // even a failed bind may leave a socket to close
  if (error != 0) {
    log_.LogMessage(kBindFailed, error, port_);
    // Give the port and the socket layer back, so that a later start can bind again.
    ReleaseSocket();
    return false;
  }
  if (!socket_.SetNonBlocking()) {
    log_.LogMessage(kNonBlockingFailed);
    ReleaseSocket();
    return false;
  }
  log_.LogMessage(kOpened, port_);
  guesser_count_ = 0;  // a new start forgives every guesser
  password_ = password.substr(0, wire::kMaxPassword);
  running_ = true;
  return true;
}

void StreamServer::ReleaseSocket() {
  if (socket_open_) {
    socket_.Close();
    socket_open_ = false;
  }
  if (layer_started_) {
    socket_.Cleanup();
    layer_started_ = false;
  }
}

void StreamServer::StopServer() {
  running_ = false;
  DropClient(kStopping);
  ReleaseSocket();
  log_.LogMessage(kClosed);
}

void StreamServer::DropClient(DropReason reason) {
  if (reason == kGoodbyeReceived) {
    log_.LogMessage(kDisconnected);
  } else if (reason == kTimedOut) {
    log_.LogMessage(kTimedOutText);
  }
  connected_ = false;
  client_.address = {};
  // Whatever the client left pressed would otherwise stay pressed for the person at the desktop.
  if (input_ != nullptr) input_->ReleaseHeld();
}

void StreamServer::PollNetwork() {
  if (!running_) return;
  ++passes_;

  // Datagrams that would be ignored anyway are read past within the pass, so that a flood
  // of them costs only its receives and does not crowd the client out of the socket's
  // queue. Still at most one datagram acts per pass: the pass stays the session's clock.
  for (int reads = 0; reads < kMaxReadsPerPass; ++reads) {
    Ipv4Endpoint source;
    int n = socket_.ReceiveFrom(receive_, wire::kMaxDatagram, &source);
    if (n == 0) break;
    if (n < 0) continue;  // dropped by the socket layer
    Payload payload(receive_ + 1, n - 1);
    std::uint8_t type = receive_[0];
    if (type == wire::kConnect) {
      if (SlowedDown(source.address)) continue;  // no reply, no log line: nothing to learn
      HandleConnect(payload, source);
      break;
    }
    // Only the client that gave the password may drive the session; anyone else
    // could otherwise type, click and hang up on it.
    if (connected_ && source == client_) {
      HandleCommand(type, payload);
      break;
    }
  }
  CountPass();
}

StreamServer::Guesser* StreamServer::FindGuesser(const std::array<std::uint8_t, 4>& address) {
  for (std::size_t i = 0; i < guesser_count_; ++i) {
    if (guessers_[i].address == address) return &guessers_[i];
  }
  return nullptr;
}

bool StreamServer::SlowedDown(const std::array<std::uint8_t, 4>& address) {
  const Guesser* g = FindGuesser(address);
  return g != nullptr && g->wrong >= kWrongPasswordLimit && passes_ - g->checked < kCheckEveryPasses;
}

void StreamServer::NoteWrongPassword(const std::array<std::uint8_t, 4>& address) {
  Guesser* g = FindGuesser(address);
  if (g == nullptr) {
    if (guesser_count_ < guessers_.size()) {
      g = &guessers_[guesser_count_++];
    } else {
      // Full: give up the address least worth watching, one not yet slowed down before
      // one that is, and of those the one quiet the longest. Sources that are spoofed
      // at random then push each other out, not a guesser who reached the limit.
      g = &guessers_[0];
      for (Guesser& c : guessers_) {
        bool slowed = c.wrong >= kWrongPasswordLimit;
        bool victim_slowed = g->wrong >= kWrongPasswordLimit;
        if (slowed != victim_slowed ? !slowed : (c.checked < g->checked)) g = &c;
      }
    }
    *g = Guesser{address, 0, 0};
  }
  g->checked = passes_;
  if (++g->wrong == kWrongPasswordLimit) {
    log_.LogMessage(kSlowingDown, address[0], address[1], address[2], address[3]);
  }
}

void StreamServer::ForgetGuesser(const std::array<std::uint8_t, 4>& address) {
  Guesser* g = FindGuesser(address);
  if (g == nullptr) return;
  *g = guessers_[--guesser_count_];
}

void StreamServer::HandleConnect(const Payload& payload, const Ipv4Endpoint& source) {
  const char* text = reinterpret_cast<const char*>(receive_ + 1);
  std::size_t length = 0;
  while (static_cast<int>(length) < payload.size() && text[length] != '\0') ++length;
  bool match = password_.size() == length && std::memcmp(password_.data(), text, length) == 0;

  const auto& a = source.address;
  if (!match) {
    log_.LogMessage(kRejected, a[0], a[1], a[2], a[3]);
    send_[0] = wire::kConnect;
    send_[1] = wire::kRefused;
    Send(2, source);
    NoteWrongPassword(a);
    return;
  }
  ForgetGuesser(a);
  log_.LogMessage(kAcceptedText, a[0], a[1], a[2], a[3]);
  // A new session, perhaps of another client: nothing of the old one stays held.
  if (connected_ && input_ != nullptr) input_->ReleaseHeld();
  connected_ = true;
  keep_alive_counter_ = 0;
  silence_counter_ = 0;
  client_ = source;
  send_[0] = wire::kConnect;
  send_[1] = wire::kAccepted;
  Send(2, client_);
}

void StreamServer::CountPass() {
  if (!connected_) return;
  if (++keep_alive_counter_ > wire::kKeepAliveAfter) {
    send_[0] = wire::kKeepAlive;
    Send(1, client_);
    keep_alive_counter_ = 0;
  }
  if (++silence_counter_ > wire::kSilenceAfter) {
    DropClient(kTimedOut);
  }
}

void StreamServer::HandleCommand(std::uint8_t type, const Payload& p) {
  switch (type) {
    case wire::kGoodbye:
      DropClient(kGoodbyeReceived);
      return;
    case wire::kKeepAlive:
      silence_counter_ = 0;
      return;
    case wire::kFullView:
    case wire::kFullChunk:
    case wire::kRegionView:
    case wire::kRegionChunk:
      HandlePicture(type, p);
      return;
    default:
      break;
  }
  if (!input_) return;
  switch (type) {
    case wire::kPointerAbsolute: input_->MovePointerAbsolute(p[0], p[1]); break;
    case wire::kPointerRelative: input_->MovePointerRelative(anchor_, p[0], p[1]); break;
    case wire::kPointerAnchor: input_->SetPointerAnchor(anchor_, p[0], p[1]); break;
    case wire::kPointerInRegion: input_->MovePointerInRegion(p[0], p[1], p[2], p[3]); break;
    case wire::kLeftDown: input_->LeftButtonDown(); break;
    case wire::kLeftUp: input_->LeftButtonUp(); break;
    case wire::kRightDown: input_->RightButtonDown(); break;
    case wire::kRightUp: input_->RightButtonUp(); break;
    case wire::kMiddleDown: input_->MiddleButtonDown(); break;
    case wire::kMiddleUp: input_->MiddleButtonUp(); break;
    case wire::kKeyPress:
      input_->SendKey(p[0], true);
      input_->SendKey(p[0], false);
      break;
    case wire::kKeyDown:
    case wire::kKeyDownAlt: input_->SendKey(p[0], true); break;
    case wire::kKeyUp:
    case wire::kKeyUpAlt: input_->SendKey(p[0], false); break;
    default: break;  // 7, 8, 11, 14 and everything above 25 mean nothing
  }
}

void StreamServer::HandlePicture(std::uint8_t type, const Payload& p) {
  switch (type) {
    case wire::kFullView:
      PrepareFrame(true, 0, 0, full_view_);
      break;
    case wire::kFullChunk:
      SendChunk(p[0], full_view_);
      break;
    case wire::kRegionView: {
      std::uint16_t width = 0;
      std::uint16_t height = 0;
      // Without the desktop's size there is no origin to capture from.
      if (desktop_ == nullptr || !desktop_->DesktopSize(width, height)) return;
      RegionOrigin origin = RegionOriginFor(p[0], p[1], width, height);
      PrepareFrame(false, origin.x, origin.y, region_view_);
      break;
    }
    case wire::kRegionChunk:
      SendChunk(p[0], region_view_);
      break;
    default:
      break;
  }
}

bool StreamServer::PrepareFrame(bool full, std::uint16_t x, std::uint16_t y, ImageBuffer& buffer) {
  if (desktop_ == nullptr || !desktop_->CaptureDesktop(full, x, y)) return false;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(full ? kFullViewFile : kRegionViewFile, "rb"));
  if (!file) return false;
  std::size_t n = std::fread(buffer.data, 1, sizeof buffer.data, file.get());
  // A read that failed half-way (the name now a directory, say) left no picture to send.
  bool failed = std::ferror(file.get()) != 0;
  file.reset();
  buffer.length = failed ? 0 : static_cast<std::int32_t>(n);
  if (failed) return false;
  // Kept, but not announced: the client counts on at most 30 chunks.
  if (buffer.length > wire::kMaxAnnounced) return false;
  send_[0] = buffer.readyType;
  send_[1] = static_cast<std::uint8_t>(ChunkCount(buffer.length));
  Send(2, client_);
  return true;
}

void StreamServer::SendChunk(std::uint8_t index, const ImageBuffer& buffer) {
  std::int32_t start = index * wire::kChunkSize;
  std::int32_t count = buffer.length - start;
  if (count <= 0) return;
  if (count > wire::kChunkSize) count = wire::kChunkSize;
  send_[0] = buffer.chunkType;
  send_[1] = index;
  std::memcpy(send_ + wire::kChunkHeader, buffer.data + start, static_cast<std::size_t>(count));
  Send(wire::kChunkHeader + count, client_);
}

void StreamServer::Send(int length, const Ipv4Endpoint& to) {
  socket_.SendTo(send_, length, to);
}

}  // namespace ravelo
