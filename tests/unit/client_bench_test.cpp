// The picture benchmark: one chunk request at a time, and its medians, worst times and floor.
#include "client/bench.h"

#include <gtest/gtest.h>

#include "client_fake_clock.h"
#include "client_picture_server.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ClientBench, SummaryOfTheWholePictures) {
  struct Case {
    const char* name;
    std::vector<BenchSample> samples;
    BenchSummary expected;
  };
  const BenchSample failed{false, 9000, 0, 3, 0};
  const Case cases[] = {
      {"odd count", {{true, 10000, 40000, 3, 2500}, {true, 30000, 60000, 5, 4500}, {true, 20000, 50000, 3, 2600}},
       {3, 0, 20000, 30000, 50000, 60000, 3, 2600, 20000, 20.0}},
      {"even count: the middle two averaged",
       {{true, 10000, 40000, 2, 1500}, {true, 20000, 70000, 4, 3500}, failed},
       {3, 1, 15000, 20000, 55000, 70000, 3, 2500, 20000, 2e6 / 110000}},
      {"all failed", {failed, failed}, {2, 2, 0, 0, 0, 0, 0, 0, 0}},
      {"none", {}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BenchSummary s = SummarizeBench(c.samples);
    const BenchSummary& e = c.expected;
    EXPECT_EQ(s.pictures, e.pictures);
    EXPECT_EQ(s.failed, e.failed);
    EXPECT_EQ(s.ready_median_us, e.ready_median_us);
    EXPECT_EQ(s.ready_worst_us, e.ready_worst_us);
    EXPECT_EQ(s.last_median_us, e.last_median_us);
    EXPECT_EQ(s.last_worst_us, e.last_worst_us);
    EXPECT_EQ(s.chunks_median, e.chunks_median);
    EXPECT_EQ(s.bytes_median, e.bytes_median);
    EXPECT_EQ(s.floor_us, e.floor_us);
    EXPECT_DOUBLE_EQ(s.per_second, e.per_second);
  }
}

TEST(ClientBench, FetchesOneChunkAtATimeAndAsksAgainForLostOnes) {
  struct Case {
    const char* name;
    int lost;  // replies of chunk 1 lost
    bool ok;
    std::vector<Bytes> sent;
  };
  const Case cases[] = {
      {"none lost", 0, true, {{24, 128, 96}, {25, 0}, {25, 1}, {25, 2}}},
      {"one lost", 1, true, {{24, 128, 96}, {25, 0}, {25, 1}, {25, 1}, {25, 2}}},
      {"never comes", 5, false, {{24, 128, 96}, {25, 0}, {25, 1}, {25, 1}, {25, 1}, {25, 1}, {25, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    FakePictureServer net;
    net.server = Endpoint(127, 0, 0, 1, 8888);
    net.picture.assign(2500, 0x55);
    net.losses[1] = c.lost;
    RaveloClient client(ClientServices{net, clock}, net.server);
    ASSERT_EQ(client.Open(), 0);
    const BenchSample sample = FetchTimed(client, clock, PictureRequest{false, 128, 96});
    EXPECT_EQ(sample.ok, c.ok);
    std::vector<Bytes> sent;
    for (const Datagram& d : net.sent) sent.push_back(d.bytes);
    EXPECT_EQ(sent, c.sent);
    if (c.ok) {
      EXPECT_EQ(sample.chunks, 3);
      EXPECT_EQ(sample.bytes, 2500);
      EXPECT_LE(sample.ready_us, sample.last_us);
    }
  }
}

}  // namespace
}  // namespace ravelo
