// The program's one network endpoint: a UDP session with one client, polled from the main loop.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/session_clock.h"
#include "server/status_log.h"
#include "imaging/capture.h"
#include "input/inject.h"
#include "wire/protocol.h"
#include "wire/socket_layer.h"

namespace ravelo {

// Everything the session needs from outside, passed in so that tests can script it.
struct ServerServices {
  SocketLayer& socket;
  StatusLog& log;
  SessionClock& clock;
  InputInjector* input = nullptr;     // null: input messages do nothing
  DesktopCapture* desktop = nullptr;  // null: picture requests do nothing
};

// One encoded picture, as read back from its file.
struct ImageBuffer {
  std::int32_t length = 0;
  std::uint8_t readyType = 0;
  std::uint8_t chunkType = 0;
  std::uint8_t data[wire::kReadLimit] = {};
};

// Number of chunks a picture of `length` bytes is sent in.
inline int ChunkCount(std::int32_t length) {
  return length / wire::kChunkSize + (length % wire::kChunkSize != 0 ? 1 : 0);
}

// The desktop pixel under a point of the client's overview, as the region's top-left corner.
struct RegionOrigin {
  std::uint16_t x;
  std::uint16_t y;
};
RegionOrigin RegionOriginFor(std::uint8_t p0, std::uint8_t p1, std::uint16_t desktopWidth,
                             std::uint16_t desktopHeight);

class StreamServer {
 public:
  enum DropReason { kGoodbyeReceived = 0, kTimedOut = 1, kStopping = 2 };

  // Password guessing: from this many wrong passwords in a row on, an address gets one
  // check per kCheckEveryMicros (5 s); its other connects are dropped.
  static constexpr int kWrongPasswordLimit = 10;
  static constexpr std::int64_t kCheckEveryMicros = 5000000;
  // Addresses with wrong passwords remembered at once; spoofed sources cannot grow it. An
  // address's count is never pushed out by others: once the table is full, the addresses it
  // cannot hold share one check per kCheckEveryMicros between them.
  static constexpr std::size_t kGuessTableSize = 256;
  // An address that has guessed nothing for this long (10 minutes) is forgotten.
  static constexpr std::int64_t kForgetAfterMicros = 600000000;
  // Datagrams one pass may read; all but the one that acts are those ignored anyway. Under a
  // flood the socket's queue stays full and the client's datagrams get in about as often as
  // the pass reads: the more a pass reads, the likelier they are heard. A pass that reaches
  // the bound is behind, and its time does not count towards the client's time-out. In 90 s
  // loopback floods under Wine, 64 reads lost the client in two runs of three and 1024 in none.
  static constexpr int kMaxReadsPerPass = 1024;

  StreamServer(int port, ServerServices services);
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  // `password` is at most 15 characters; a longer one is cut.
  bool StartServer(const std::string& password);
  void StopServer();
  bool IsRunning() const { return running_; }
  // One step of network work: at most one datagram acts, then keep-alive and time-out.
  // Returns how many datagrams were read (0: nothing was waiting).
  int PollNetwork();
  void DropClient(DropReason reason);

  // What the main loop waits for before it calls Serve again: the socket (when `socket`) and
  // at most `timeoutMicros` (-1: no limit), whichever comes first.
  struct Wait {
    bool socket = false;
    std::int64_t timeoutMicros = -1;
  };
  Wait NextWait();
  // The main loop woke, the socket readable or not: polls the network when its time has come.
  // By default a datagram is read no sooner than one pass (5 ms) after the last read, the
  // rhythm of the old loop that clients were built against; with fast answers at once.
  void Serve(bool readable);
  void SetFastAnswers(bool fast) { fast_answers_ = fast; }
  bool FastAnswers() const { return fast_answers_; }
  // While a modal box holds the program, the network waits and its time does not count
  // towards keep-alives, time-outs or the guessing limit.
  void PauseClock();
  void ResumeClock();

  // Captures the view, reads its file back into `buffer` and announces it to the client.
  bool PrepareFrame(bool full, std::uint16_t x, std::uint16_t y, ImageBuffer& buffer);
  // Sends chunk `index` of the picture in `buffer`; nothing when it lies past the end.
  void SendChunk(std::uint8_t index, const ImageBuffer& buffer);

  bool IsConnected() const { return connected_; }
  const Ipv4Endpoint& ClientAddress() const { return client_; }
  const PointerAnchor& Anchor() const { return anchor_; }
  const ImageBuffer& FullView() const { return full_view_; }
  const ImageBuffer& RegionView() const { return region_view_; }

 private:
  // Payload bytes past the end of the datagram read as 0.
  class Payload {
   public:
    Payload(const std::uint8_t* bytes, int length) : bytes_(bytes), length_(length) {}
    std::uint8_t operator[](int i) const { return i < length_ ? bytes_[i] : 0; }
    int size() const { return length_; }

   private:
    const std::uint8_t* bytes_;
    int length_;
  };

  // Consecutive wrong passwords from one IPv4 address, whatever its ports.
  struct Guesser {
    std::array<std::uint8_t, 4> address{};
    int wrong = 0;
    std::int64_t checked = 0;  // time of the last wrong password
  };

  // A connect from someone other than the client, read on past so that the client's own
  // datagrams of the same pass act first.
  struct HeldConnect {
    Ipv4Endpoint source;
    int length = 0;  // 0: none held
    std::uint8_t bytes[wire::kMaxDatagram] = {};
  };

  void HandleConnect(const std::uint8_t* text, int length, const Ipv4Endpoint& source);
  bool SlowedDown(const std::array<std::uint8_t, 4>& address);
  void NoteCheck(const std::array<std::uint8_t, 4>& address);
  void NoteWrongPassword(const std::array<std::uint8_t, 4>& address);
  void ForgetGuesser(const std::array<std::uint8_t, 4>& address);
  Guesser* FindGuesser(const std::array<std::uint8_t, 4>& address);
  Guesser* FreeGuesserSlot();
  bool Remembered(const Guesser& g) const;
  bool PictureFileRefused(const char* name);
  void HandleCommand(std::uint8_t type, const Payload& payload);
  void HandlePicture(std::uint8_t type, const Payload& payload);
  void CheckTimers();
  std::int64_t Now();
  void Send(int length, const Ipv4Endpoint& to);
  void ReleaseSocket();

  const int port_;
  SocketLayer& socket_;
  StatusLog& log_;
  SessionClock& clock_;
  InputInjector* input_;
  DesktopCapture* desktop_;

  std::int64_t keep_alive_due_ = 0;  // while connected: when the next keep-alive goes out
  std::int64_t silence_due_ = 0;     // and when a client that stays silent is dropped
  std::int64_t last_pass_ = -1;      // when the last pass began
  bool socket_open_ = false;
  bool layer_started_ = false;
  Ipv4Endpoint client_;
  std::uint8_t receive_[wire::kBufferSize] = {};
  std::uint8_t send_[wire::kBufferSize] = {};
  std::string password_;
  bool running_ = false;
  bool connected_ = false;
  ImageBuffer full_view_;
  ImageBuffer region_view_;
  PointerAnchor anchor_;
  std::int64_t now_ = 0;           // the time of the current poll
  std::int64_t paused_at_ = -1;    // the raw clock's time the clock was paused, or -1
  std::int64_t paused_total_ = 0;  // raw time spent paused, left out of Now()
  std::int64_t next_read_ = 0;     // with pacing: no read before this
  bool pending_ = false;           // the socket was readable and has not been read since
  bool fast_answers_ = false;
  std::array<Guesser, kGuessTableSize> guessers_{};
  std::size_t guesser_count_ = 0;
  // Time of the last check shared by the addresses the full table cannot hold.
  std::int64_t overflow_checked_ = 0;
  bool overflow_checked_once_ = false;
  HeldConnect held_;
};

}  // namespace ravelo
