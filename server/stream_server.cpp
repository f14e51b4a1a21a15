#include "server/stream_server.h"

#include <algorithm>
#include <cstring>

#include "server/picture_file.h"

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
constexpr const char kNotRegularFile[] = "%s is not a regular file; the picture was not sent.";

}  // namespace

RegionOrigin RegionOriginFor(std::uint8_t p0, std::uint8_t p1, std::uint16_t desktopWidth,
                             std::uint16_t desktopHeight) {
  return {static_cast<std::uint16_t>(wire::OverviewToAxis(p0, desktopWidth, wire::kSpanX)),
          static_cast<std::uint16_t>(wire::OverviewToAxis(p1, desktopHeight, wire::kSpanY))};
}

StreamServer::StreamServer(int port, ServerServices services)
    : port_(port),
      socket_(services.socket),
      log_(services.log),
      clock_(services.clock),
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
  overflow_checked_once_ = false;
  next_read_ = 0;
  last_pass_ = -1;
  pending_ = false;
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

std::int64_t StreamServer::Now() {
  const std::int64_t raw = paused_at_ >= 0 ? paused_at_ : clock_.NowMicros();
  return raw - paused_total_;
}

void StreamServer::PauseClock() {
  if (paused_at_ < 0) paused_at_ = clock_.NowMicros();
}

void StreamServer::ResumeClock() {
  if (paused_at_ < 0) return;
  paused_total_ += clock_.NowMicros() - paused_at_;
  paused_at_ = -1;
}

StreamServer::Wait StreamServer::NextWait() {
  Wait wait;
  if (!running_ || paused_at_ >= 0) return wait;
  const std::int64_t now = Now();
  std::int64_t until = -1;
  if (connected_) until = std::min(keep_alive_due_, silence_due_);
  // A datagram came too soon after the last read: the socket stays readable, so the loop
  // sleeps until it may be read rather than be woken by it over and over.
  wait.socket = !pending_ || fast_answers_ || now >= next_read_;
  if (!wait.socket) until = until < 0 ? next_read_ : std::min(until, next_read_);
  if (until >= 0) wait.timeoutMicros = std::max<std::int64_t>(0, until - now);
  return wait;
}

void StreamServer::Serve(bool readable) {
  if (!running_ || paused_at_ >= 0) return;
  const std::int64_t now = Now();
  pending_ = pending_ || readable;
  if (pending_ && (fast_answers_ || now >= next_read_)) {
    pending_ = false;
    if (PollNetwork() > 0 && !fast_answers_) next_read_ = now + wire::kPassMicros;
    return;
  }
  if (connected_ && (now >= keep_alive_due_ || now >= silence_due_)) {
    now_ = now;
    CheckTimers();
  }
}

int StreamServer::PollNetwork() {
  if (!running_) return 0;
  now_ = Now();
  held_.length = 0;
  int received = 0;

  // Datagrams that would be ignored anyway are read past within the pass, so that a flood
  // of them costs only its receives and does not crowd the client out of the socket's
  // queue. Still at most one datagram acts per pass: the pass stays the session's clock.
  for (int reads = 0; reads < kMaxReadsPerPass; ++reads) {
    Ipv4Endpoint source;
    int n = socket_.ReceiveFrom(receive_, wire::kMaxDatagram, &source);
    if (n == 0) break;
    ++received;
    if (n < 0) continue;  // dropped by the socket layer
    const std::uint8_t type = receive_[0];
    // Only the client that gave the password may drive the session; anyone else
    // could otherwise type, click and hang up on it.
    const bool fromClient = connected_ && source == client_;
    if (type == wire::kConnect) {
      if (SlowedDown(source.address)) continue;  // no reply, no log line: nothing to learn
      if (connected_ && !fromClient) {
        // Others' connects wait for the end of the pass, so that a flood of them from
        // ever new addresses cannot keep the client's own datagrams from being read.
        if (held_.length == 0) {
          held_.source = source;
          held_.length = n;
          std::memcpy(held_.bytes, receive_, static_cast<std::size_t>(n));
        }
        continue;
      }
      HandleConnect(receive_ + 1, n - 1, source);
      held_.length = 0;
      break;
    }
    if (fromClient) {
      held_.length = 0;  // the client's datagram is the one that acts
      HandleCommand(type, Payload(receive_ + 1, n - 1));
      break;
    }
  }
  if (held_.length > 0) {
    HandleConnect(held_.bytes + 1, held_.length - 1, held_.source);
    held_.length = 0;
  }
  // A pass that reads to its bound is behind a flood: the system's queue stays full and drops
  // datagrams unread, the client's among them, so the time since the last pass is not silence
  // the server could have heard.
  if (connected_ && received >= kMaxReadsPerPass && last_pass_ >= 0) silence_due_ += now_ - last_pass_;
  last_pass_ = now_;
  CheckTimers();
  return received;
}

bool StreamServer::Remembered(const Guesser& g) const { return now_ - g.checked < kForgetAfterMicros; }

StreamServer::Guesser* StreamServer::FindGuesser(const std::array<std::uint8_t, 4>& address) {
  for (std::size_t i = 0; i < guesser_count_; ++i) {
    if (guessers_[i].address == address && Remembered(guessers_[i])) return &guessers_[i];
  }
  return nullptr;
}

StreamServer::Guesser* StreamServer::FreeGuesserSlot() {
  if (guesser_count_ < guessers_.size()) return &guessers_[guesser_count_];
  for (Guesser& g : guessers_) {
    if (!Remembered(g)) return &g;
  }
  return nullptr;  // full: nobody is pushed out
}

bool StreamServer::SlowedDown(const std::array<std::uint8_t, 4>& address) {
  const std::int64_t* last = nullptr;
  if (const Guesser* g = FindGuesser(address)) {
    if (g->wrong < kWrongPasswordLimit) return false;
    last = &g->checked;
  } else if (FreeGuesserSlot() == nullptr) {
    // An address the full table cannot hold counts as slowed down from the start.
    if (!overflow_checked_once_) return false;
    last = &overflow_checked_;
  } else {
    return false;
  }
  return now_ - *last < kCheckEveryMicros;
}

void StreamServer::NoteCheck(const std::array<std::uint8_t, 4>& address) {
  if (FindGuesser(address) == nullptr && FreeGuesserSlot() == nullptr) {
    overflow_checked_ = now_;
    overflow_checked_once_ = true;
  }
}

void StreamServer::NoteWrongPassword(const std::array<std::uint8_t, 4>& address) {
  Guesser* g = FindGuesser(address);
  if (g == nullptr) {
    g = FreeGuesserSlot();
    if (g == nullptr) return;  // the shared check above stands for it
    if (g == guessers_.data() + guesser_count_) ++guesser_count_;
    *g = Guesser{address, 0, 0};
  }
  g->checked = now_;
  if (++g->wrong == kWrongPasswordLimit) {
    log_.LogMessage(kSlowingDown, address[0], address[1], address[2], address[3]);
  }
}

void StreamServer::ForgetGuesser(const std::array<std::uint8_t, 4>& address) {
  Guesser* g = FindGuesser(address);
  if (g == nullptr) return;
  *g = guessers_[--guesser_count_];
}

void StreamServer::HandleConnect(const std::uint8_t* bytes, int size, const Ipv4Endpoint& source) {
  const char* text = reinterpret_cast<const char*>(bytes);
  std::size_t length = 0;
  while (static_cast<int>(length) < size && text[length] != '\0') ++length;
  bool match = password_.size() == length && std::memcmp(password_.data(), text, length) == 0;

  const auto& a = source.address;
  NoteCheck(a);
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
  keep_alive_due_ = now_ + wire::kFirstKeepAliveMicros;
  silence_due_ = now_ + wire::kSilenceMicros;
  client_ = source;
  send_[0] = wire::kConnect;
  send_[1] = wire::kAccepted;
  Send(2, client_);
}

void StreamServer::CheckTimers() {
  if (!connected_) return;
  if (now_ >= keep_alive_due_) {
    send_[0] = wire::kKeepAlive;
    Send(1, client_);
    keep_alive_due_ = now_ + wire::kKeepAliveMicros;
  }
  if (now_ >= silence_due_) DropClient(kTimedOut);
}

void StreamServer::HandleCommand(std::uint8_t type, const Payload& p) {
  switch (type) {
    case wire::kGoodbye:
      DropClient(kGoodbyeReceived);
      return;
    case wire::kKeepAlive:
      silence_due_ = now_ + wire::kSilenceMicros;
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
  const char* name = full ? kFullViewFile : kRegionViewFile;
  // Checked before the capture too: not every platform's writer can refuse a link itself.
  if (desktop_ == nullptr || PictureFileRefused(name)) return false;
  if (!desktop_->CaptureDesktop(full, x, y)) {
    PictureFileRefused(name);
    return false;
  }
  std::size_t n = 0;
  const PictureFileRead read = ReadPictureFile(name, buffer.data, sizeof buffer.data, &n);
  if (read == PictureFileRead::kNotRegular) {
    log_.LogMessage(kNotRegularFile, name);
    return false;
  }
  if (read == PictureFileRead::kFailed) {
    if (n > 0) buffer.length = 0;  // half overwritten: no picture left to send
    return false;
  }
  buffer.length = static_cast<std::int32_t>(n);
  // Kept, but not announced: the client counts on at most 30 chunks.
  if (buffer.length > wire::kMaxAnnounced) return false;
  send_[0] = buffer.readyType;
  send_[1] = static_cast<std::uint8_t>(ChunkCount(buffer.length));
  Send(2, client_);
  return true;
}

bool StreamServer::PictureFileRefused(const char* name) {
  // Someone put a link or a pipe where the picture goes: say so, once per request, rather
  // than leave the client waiting for no visible reason.
  if (!IsSpecialFile(name)) return false;
  log_.LogMessage(kNotRegularFile, name);
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
