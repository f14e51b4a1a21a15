// The picture benchmark: pictures fetched as a real client fetches them, one chunk request
// at a time, timed from the request to the ready message and to the last chunk.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "client/client.h"
#include "client/picture.h"

namespace ravelo {

struct BenchSample {
  bool ok = false;
  std::int64_t ready_us = 0;  // request sent to ready message
  std::int64_t last_us = 0;   // request sent to last chunk
  int chunks = 0;
  int bytes = 0;
};

struct BenchSummary {
  int pictures = 0;
  int failed = 0;
  std::int64_t ready_median_us = 0;
  std::int64_t ready_worst_us = 0;
  std::int64_t last_median_us = 0;
  std::int64_t last_worst_us = 0;
  int chunks_median = 0;
  int bytes_median = 0;
  // The floor of a paced server for the median count: the ready message and each chunk
  // wait at least 5 ms after the one before.
  std::int64_t floor_us = 0;
  // Whole pictures fetched one after the other: how many a second.
  double per_second = 0;
};

// One picture, chunk by chunk; a chunk not answered within its wait is asked for again a
// few times before the picture counts as failed.
BenchSample FetchTimed(RaveloClient& client, ClientClock& clock, const PictureRequest& request);

// Medians and worst times over the pictures that arrived whole.
BenchSummary SummarizeBench(const std::vector<BenchSample>& samples);

void PrintBench(std::ostream& out, const char* kind, const BenchSummary& summary);

}  // namespace ravelo
