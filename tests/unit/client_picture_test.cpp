#include "client/picture.h"

#include <gtest/gtest.h>

#include "client_fake_clock.h"
#include "client_picture_server.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Ipv4Endpoint kServer = Endpoint(127, 0, 0, 1, 8888);

// Framed by the JPEG start and end markers, as a picture must be to be taken.
Bytes PictureOf(std::size_t size) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 1000);
  b[0] = 0xFF;
  b[1] = 0xD8;
  b[size - 2] = 0xFF;
  b[size - 1] = 0xD9;
  return b;
}

class PictureTest : public ::testing::Test {
 protected:
  FakeClock clock;
  FakePictureServer net;
  RaveloClient client{ClientServices{net, clock}, kServer};

  void SetUp() override {
    net.server = kServer;
    ASSERT_EQ(client.Open(), 0);
  }
  std::vector<Bytes> Requests() const {
    std::vector<Bytes> r;
    for (const Datagram& d : net.sent) r.push_back(d.bytes);
    return r;
  }
};

TEST_F(PictureTest, WholePictures) {
  struct Case {
    std::size_t size;
    std::map<int, int> losses;
    int chunks;
    int requests;
  };
  const Case cases[] = {
      {2500, {}, 3, 3},
      {3000, {}, 3, 3},
      {30000, {}, 30, 30},
      {999, {}, 1, 1},
      {4, {}, 1, 1},
      {2500, {{1, 1}}, 3, 4},          // one lost reply is asked for again
      {5000, {{0, 2}, {4, 1}}, 5, 8},  // twice lost takes a third round
      {2500, {{2, 4}}, 3, 7},          // the last round still gets it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    net.sent.clear();
    net.picture = PictureOf(c.size);
    net.losses = c.losses;
    Picture p = FetchPicture(client, PictureRequest{});
    EXPECT_EQ(p.status, Picture::kComplete);
    EXPECT_EQ(p.chunks, c.chunks);
    EXPECT_EQ(p.requests, c.requests);
    EXPECT_EQ(p.bytes, net.picture);
    EXPECT_EQ(net.sent.front().bytes, Bytes{22});
  }
}

TEST_F(PictureTest, ChunkLostInEveryRound) {
  net.picture = PictureOf(2500);
  net.losses = {{2, 1000}};
  FetchLimits limits;
  Picture p = FetchPicture(client, PictureRequest{}, limits);
  EXPECT_EQ(p.status, Picture::kIncomplete);
  EXPECT_EQ(p.missing, 1);
  EXPECT_EQ(p.requests, 3 + limits.rounds - 1);
  EXPECT_TRUE(p.bytes.empty());
  EXPECT_EQ(clock.now, limits.rounds * limits.chunk_timeout_ms);
}

TEST_F(PictureTest, NothingAnnounced) {
  net.announce = false;
  FetchLimits limits;
  Picture p = FetchPicture(client, PictureRequest{}, limits);
  EXPECT_EQ(p.status, Picture::kNotAnnounced);
  EXPECT_EQ(Requests(), std::vector<Bytes>{{22}});
  EXPECT_EQ(clock.now, limits.ready_timeout_ms);
}

TEST_F(PictureTest, RegionUsesItsOwnTypesAndIgnoresTheFullView) {
  net.picture = PictureOf(1500);
  // Messages of the other view and of a stranger must not end up in the picture.
  net.before_ready = {{{22, 9}, kServer},
                      {{23, 0, 1, 2, 3}, kServer},
                      {{25, 7, 1, 2, 3}, kServer},
                      {{24, 2}, Endpoint(10, 0, 0, 9, 8888)}};
  Picture p = FetchPicture(client, PictureRequest{false, 128, 96});
  EXPECT_EQ(p.status, Picture::kComplete);
  EXPECT_EQ(p.bytes, net.picture);
  EXPECT_EQ(Requests(), (std::vector<Bytes>{{24, 128, 96}, {25, 0}, {25, 1}}));
}

TEST_F(PictureTest, LeftoversOfAnEarlierFetchAreDropped) {
  net.picture = PictureOf(2000);
  net.Queue({24, 3}, kServer);
  net.Queue({25, 0, 5}, kServer);
  net.Queue({2}, kServer);
  Picture p = FetchPicture(client, PictureRequest{false, 0, 0});
  EXPECT_EQ(p.status, Picture::kComplete);
  EXPECT_EQ(p.chunks, 2);
  EXPECT_EQ(p.bytes, net.picture);
}

TEST_F(PictureTest, DuplicateChunksAreNotCountedTwice) {
  net.picture = PictureOf(3000);
  net.repeats = {{0, 1}};
  net.losses = {{2, 1}};
  Picture p = FetchPicture(client, PictureRequest{});
  EXPECT_EQ(p.status, Picture::kComplete);
  EXPECT_EQ(p.requests, 4);
  EXPECT_EQ(p.bytes, net.picture);
}

}  // namespace
}  // namespace ravelo
