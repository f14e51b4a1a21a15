// The wire format: every type byte and fixed number of the UDP protocol with the client.
// Each datagram is one type byte followed by its payload; its length is the message's length.
#pragma once

#include <cstdint>

namespace ravelo {
namespace wire {

constexpr std::uint16_t kPort = 8888;

// Type bytes. Client-to-server unless noted; 2 is a keep-alive in both directions.
enum MessageType : std::uint8_t {
  kConnect = 0,             // payload: password text, NUL optional. Reply: kConnect, kRefused/kAccepted
  kGoodbye = 1,
  kKeepAlive = 2,           // one byte only
  kPointerAbsolute = 3,     // p0 = x, p1 = y on the client screen
  kPointerRelative = 4,     // p0 = x, p1 = y
  kPointerAnchor = 5,       // p0 = x, p1 = y
  kPointerInRegion = 6,     // p0, p1 = region origin on the overview; p2, p3 = offset inside the region
  kLeftDown = 9,
  kLeftUp = 10,
  kRightDown = 12,
  kRightUp = 13,
  kMiddleDown = 15,
  kMiddleUp = 16,
  kKeyPress = 17,           // p0 = key code; down, then up
  kKeyDown = 18,
  kKeyUp = 19,
  kKeyDownAlt = 20,         // same as kKeyDown
  kKeyUpAlt = 21,           // same as kKeyUp
  kFullView = 22,           // request; reply kFullView, n (chunk count)
  kFullChunk = 23,          // p0 = chunk index; reply kFullChunk, i, data
  kRegionView = 24,         // p0, p1 = region origin on the overview; reply kRegionView, n
  kRegionChunk = 25,        // p0 = chunk index; reply kRegionChunk, i, data
};

// Second byte of the connect reply.
constexpr std::uint8_t kRefused = 0;
constexpr std::uint8_t kAccepted = 1;

// Highest type byte that means anything; everything above is ignored.
constexpr std::uint8_t kLastType = kRegionChunk;

constexpr int kMaxDatagram = 1023;      // longer datagrams fail to receive and are dropped
constexpr int kBufferSize = 4096;       // receive and send buffers
constexpr int kMaxPassword = 15;        // characters, without the NUL

// Session timing, in microseconds of the session's clock: the spans the program's main loop
// once counted in passes of 5 ms. The first keep-alive goes out 500 passes after the accept,
// the next ones 501 passes apart, and a client not heard for 3000 passes is dropped.
constexpr std::int64_t kPassMicros = 5000;
constexpr std::int64_t kFirstKeepAliveMicros = 500 * kPassMicros;  // 2.500 s
constexpr std::int64_t kKeepAliveMicros = 501 * kPassMicros;       // 2.505 s
constexpr std::int64_t kSilenceMicros = 3000 * kPassMicros;        // 15.000 s

// Pictures.
constexpr int kChunkSize = 1000;        // data bytes per chunk datagram
constexpr int kChunkHeader = 2;         // type byte and index
constexpr int kReadLimit = 32768;       // bytes read back from a picture file
constexpr int kMaxAnnounced = 30000;    // larger pictures are never announced

// Client screen and its mapping onto the desktop.
constexpr int kClientWidth = 256;
constexpr int kClientHeight = 192;
constexpr int kEdgeOffset = 2;
constexpr int kSpanX = 253;
constexpr int kSpanY = 188;

// Where a coordinate `p` of the client's overview (the full view) lies on an axis `extent` long,
// `span` the overview's span on that axis (kSpanX, kSpanY): the edge offset cut off, the rest
// stretched over the axis. Both the region's origin in desktop pixels and the pointer's place
// on the absolute scale come from it, so that the two agree.
inline std::int32_t OverviewToAxis(std::uint8_t p, std::int32_t extent, int span) {
  const std::int32_t offset = p < kEdgeOffset ? 0 : p - kEdgeOffset;
  return extent * offset / span;
}

}  // namespace wire
}  // namespace ravelo
