#include "client/bench.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "wire/protocol.h"

namespace ravelo {
namespace {

constexpr std::int64_t kPassUs = wire::kPassMicros;

template <typename T>
T Median(std::vector<T> values) {
  if (values.empty()) return T{};
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string Ms(std::int64_t us) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(us) / 1000.0);
  return text;
}

std::string PerSecond(double n) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", n);
  return text;
}

}  // namespace

BenchSample FetchTimed(RaveloClient& client, ClientClock& clock, const PictureRequest& request) {
  using Bytes = RaveloClient::Bytes;
  const std::uint8_t ready_type = request.ReadyType();
  const std::uint8_t chunk_type = request.ChunkType();
  // The waits a view allows; a chunk is asked for at most once a round.
  const FetchLimits limits;
  BenchSample sample;
  // Leftovers of an earlier picture, drained as a view drains them: bounded, since a
  // stream of datagrams must not hold the benchmark up.
  client.Discard(limits.discard_limit_ms);
  const std::int64_t start = clock.NowUs();
  client.SendRaw(request.Message());
  std::optional<Bytes> ready = client.WaitFor(
      [&](const Bytes& d) { return d.size() == 2 && d[0] == ready_type; }, limits.ready_timeout_ms);
  if (!ready) return sample;
  sample.ready_us = clock.NowUs() - start;
  sample.chunks = (*ready)[1];
  for (int i = 0; i < sample.chunks; ++i) {
    const auto index = static_cast<std::uint8_t>(i);
    std::optional<Bytes> chunk;
    for (int attempt = 0; attempt < limits.rounds && !chunk; ++attempt) {
      client.SendRaw({chunk_type, index});
      chunk = client.WaitFor(
          [&](const Bytes& d) { return d.size() > 2 && d[0] == chunk_type && d[1] == index; },
          limits.chunk_timeout_ms);
    }
    if (!chunk) return sample;
    sample.bytes += static_cast<int>(chunk->size()) - wire::kChunkHeader;
  }
  sample.last_us = clock.NowUs() - start;
  sample.ok = sample.chunks > 0;
  return sample;
}

BenchSummary SummarizeBench(const std::vector<BenchSample>& samples) {
  BenchSummary s;
  std::vector<std::int64_t> ready, last;
  std::vector<int> chunks, bytes;
  for (const BenchSample& sample : samples) {
    ++s.pictures;
    if (!sample.ok) {
      ++s.failed;
      continue;
    }
    ready.push_back(sample.ready_us);
    last.push_back(sample.last_us);
    chunks.push_back(sample.chunks);
    bytes.push_back(sample.bytes);
  }
  if (ready.empty()) return s;
  s.ready_median_us = Median(ready);
  s.ready_worst_us = *std::max_element(ready.begin(), ready.end());
  s.last_median_us = Median(last);
  s.last_worst_us = *std::max_element(last.begin(), last.end());
  s.chunks_median = Median(chunks);
  s.bytes_median = Median(bytes);
  s.floor_us = (s.chunks_median + 1) * kPassUs;
  std::int64_t total_us = 0;
  for (std::int64_t us : last) total_us += us;
  s.per_second = total_us > 0 ? static_cast<double>(last.size()) * 1e6 / static_cast<double>(total_us) : 0;
  return s;
}

void PrintBench(std::ostream& out, const char* kind, const BenchSummary& s) {
  out << kind << ": " << s.pictures << " pictures, " << s.failed << " failed";
  if (s.failed == s.pictures) {
    out << std::endl;
    return;
  }
  out << "; median " << s.chunks_median << " chunks, " << s.bytes_median << " bytes\n"
      << "  request to ready:      median " << Ms(s.ready_median_us) << ", worst "
      << Ms(s.ready_worst_us) << "\n"
      << "  request to last chunk: median " << Ms(s.last_median_us) << ", worst "
      << Ms(s.last_worst_us) << "\n"
      << "  pictures per second:   " << PerSecond(s.per_second) << "\n"
      << "  paced floor:           " << Ms(s.floor_us) << " ((" << s.chunks_median
      << " + 1) passes of 5 ms)" << std::endl;
}

}  // namespace ravelo
