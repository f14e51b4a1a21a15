// Fetching one picture: ask for a view, wait for its chunk count, then ask for every chunk,
// again for those that did not come, until the picture is whole or the tries run out.
#pragma once

#include <cstdint>
#include <vector>

#include "client/client.h"

namespace ravelo {

struct PictureRequest {
  bool full = true;
  // Region origin as a point on the full view; unused for the full view.
  std::uint8_t x = 0;
  std::uint8_t y = 0;

  // The view's message types: the request and its ready answer, and the chunks.
  std::uint8_t ReadyType() const;
  std::uint8_t ChunkType() const;
  // The request datagram for this view.
  std::vector<std::uint8_t> Message() const;
};

struct FetchLimits {
  int ready_timeout_ms = 5000;  // the server captures and encodes before it answers
  int chunk_timeout_ms = 500;   // length of one round of chunk requests
  int rounds = 5;               // rounds of requests for the chunks still missing
  int asks = 2;                 // requests for the view while what comes is not a whole picture
  int discard_limit_ms = 100;   // longest drain of leftovers before each request
};

struct Picture {
  enum Status { kComplete, kNotAnnounced, kIncomplete };
  // Why an announced picture was not taken.
  enum Flaw { kNoFlaw, kChunksMissing, kNoChunks, kChunkSize, kNotJpeg };
  Status status = kNotAnnounced;
  Flaw flaw = kNoFlaw;
  int chunks = 0;            // as announced
  int missing = 0;           // chunks that never came
  int bad_chunk = 0;         // kChunkSize: the chunk that was not 1000 bytes long...
  int bad_size = 0;          // ...and its length
  int requests = 0;          // chunk requests sent, repeats included
  int asks = 0;              // view requests sent
  std::vector<std::uint8_t> bytes;  // the JPEG file, when complete
};

// Takes a picture only when it is whole and well formed: n >= 1 chunks, all but the last
// 1000 bytes long, starting with the JPEG start marker and ending with its end marker.
Picture FetchPicture(RaveloClient& client, const PictureRequest& request,
                     const FetchLimits& limits = FetchLimits());

}  // namespace ravelo
