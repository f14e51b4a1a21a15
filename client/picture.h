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
};

struct FetchLimits {
  int ready_timeout_ms = 5000;  // the server captures and encodes before it answers
  int chunk_timeout_ms = 500;   // silence that ends one round of chunk requests
  int rounds = 5;               // rounds of requests for the chunks still missing
};

struct Picture {
  enum Status { kComplete, kNotAnnounced, kIncomplete };
  Status status = kNotAnnounced;
  int chunks = 0;            // as announced
  int missing = 0;           // chunks that never came
  int requests = 0;          // chunk requests sent, repeats included
  std::vector<std::uint8_t> bytes;  // the JPEG file, when complete
};

Picture FetchPicture(RaveloClient& client, const PictureRequest& request,
                     const FetchLimits& limits = FetchLimits());

}  // namespace ravelo
