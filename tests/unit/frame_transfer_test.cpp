#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "fake_desktop_capture.h"
#include "fake_session_clock.h"
#include "fake_socket_layer.h"
#include "recording_log.h"
#include "server/stream_server.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const Ipv4Endpoint kClient = Endpoint(127, 0, 0, 1, 40000);

// Runs each test in a fresh current directory, where the picture files go.
class FrameTransferTest : public ::testing::Test {
 protected:
  FakeSocketLayer net;
  RecordingLog log;
  FakeDesktopCapture desktop;
  FakeSessionClock clock;
  StreamServer server{8888, ServerServices{net, log, clock, nullptr, &desktop}};
  fs::path old_dir = fs::current_path();
  fs::path dir = fs::temp_directory_path() /
                 ("ravelo-frames-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());

  void SetUp() override {
    fs::create_directories(dir);
    fs::current_path(dir);
    ASSERT_TRUE(server.StartServer(""));
    Receive({0});
    net.sent.clear();
    log.lines.clear();
  }
  void TearDown() override {
    fs::current_path(old_dir);
    fs::remove_all(dir);
  }
  // Sends one datagram and returns what the server answered in that pass.
  std::vector<Bytes> Receive(const Bytes& b) {
    std::size_t before = net.sent.size();
    net.Queue(b, kClient);
    server.PollNetwork();
    std::vector<Bytes> replies;
    for (std::size_t i = before; i < net.sent.size(); ++i) {
      EXPECT_EQ(net.sent[i].peer, kClient);
      replies.push_back(net.sent[i].bytes);
    }
    return replies;
  }
  Bytes Chunk(std::uint8_t type, std::uint8_t index, std::size_t from, std::size_t count) const {
    Bytes b{type, index};
    for (std::size_t i = 0; i < count; ++i) b.push_back(desktop.Byte(from + i));
    return b;
  }
};

TEST_F(FrameTransferTest, AnnouncesChunkCountsAndServesEveryChunk) {
  struct Case {
    std::size_t bytes;
    std::uint8_t chunks;
  };
  const Case cases[] = {{1, 1}, {999, 1}, {1000, 1}, {1001, 2}, {2500, 3}, {3000, 3}, {30000, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    desktop.file_bytes = c.bytes;
    ASSERT_EQ(Receive({22}), (std::vector<Bytes>{{22, c.chunks}}));
    for (std::uint8_t i = 0; i < c.chunks; ++i) {
      std::size_t from = i * 1000u;
      std::size_t count = std::min<std::size_t>(1000, c.bytes - from);
      EXPECT_EQ(Receive({23, i}), (std::vector<Bytes>{Chunk(23, i, from, count)})) << int(i);
    }
    // The chunk past the end, and far past it, sends nothing.
    EXPECT_TRUE(Receive({23, c.chunks}).empty());
    EXPECT_TRUE(Receive({23, 255}).empty());
  }
}

TEST_F(FrameTransferTest, EmptyPictureIsAnnouncedWithNoChunks) {
  desktop.file_bytes = 0;
  EXPECT_EQ(Receive({22}), (std::vector<Bytes>{{22, 0}}));
  EXPECT_TRUE(Receive({23, 0}).empty());
}

TEST_F(FrameTransferTest, OversizedPictureIsNotAnnouncedButKept) {
  desktop.file_bytes = 30001;
  EXPECT_TRUE(Receive({22}).empty());
  EXPECT_EQ(server.FullView().length, 30001);
  EXPECT_EQ(Receive({23, 0}), (std::vector<Bytes>{Chunk(23, 0, 0, 1000)}));
  // Files are read back only up to the buffer's size.
  desktop.file_bytes = 40000;
  EXPECT_TRUE(Receive({22}).empty());
  EXPECT_EQ(server.FullView().length, 32768);
  EXPECT_EQ(Receive({23, 32}), (std::vector<Bytes>{Chunk(23, 32, 32000, 768)}));
}

TEST_F(FrameTransferTest, ChunksBeforeAnyPictureSendNothing) {
  EXPECT_TRUE(Receive({23, 0}).empty());
  EXPECT_TRUE(Receive({25, 0}).empty());
}

TEST_F(FrameTransferTest, ViewsKeepTheirOwnBuffersAndAnswerRepeatsInAnyOrder) {
  desktop.file_bytes = 2500;
  desktop.seed = 1;
  ASSERT_EQ(Receive({22}), (std::vector<Bytes>{{22, 3}}));
  Bytes full_chunk_1 = Chunk(23, 1, 1000, 1000);
  desktop.file_bytes = 1200;
  desktop.seed = 2;
  ASSERT_EQ(Receive({24, 2, 2}), (std::vector<Bytes>{{24, 2}}));
  EXPECT_TRUE(fs::exists(kFullViewFile));
  EXPECT_TRUE(fs::exists(kRegionViewFile));
  // The full view is still the first picture, chunk by chunk, however often asked.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Receive({23, 1}), (std::vector<Bytes>{full_chunk_1}));
  EXPECT_EQ(Receive({25, 1}), (std::vector<Bytes>{Chunk(25, 1, 1000, 200)}));
  EXPECT_EQ(Receive({25, 0}), (std::vector<Bytes>{Chunk(25, 0, 0, 1000)}));
}

TEST_F(FrameTransferTest, FailedCaptureOrMissingFileLeavesTheBufferAlone) {
  desktop.file_bytes = 2500;
  ASSERT_EQ(Receive({22}).size(), 1u);
  Bytes chunk_2 = Chunk(23, 2, 2000, 500);

  struct Case {
    const char* name;
    bool capture_ok;
    bool write_file;
  };
  const Case cases[] = {{"capture fails", false, true}, {"no file", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(kFullViewFile);
    desktop.capture_ok = c.capture_ok;
    desktop.write_file = c.write_file;
    desktop.file_bytes = 100;
    desktop.seed = 9;
    EXPECT_TRUE(Receive({22}).empty());
    EXPECT_EQ(server.FullView().length, 2500);
    desktop.seed = 0;
    EXPECT_EQ(Receive({23, 2}), (std::vector<Bytes>{chunk_2}));
  }
  EXPECT_TRUE(log.lines.empty());  // failures are quiet
}

TEST(RegionOriginTest, MapsOverviewPointsToDesktopPixels) {
  struct Case {
    std::uint8_t p0, p1;
    std::uint16_t w, h;
    std::uint16_t x, y;
  };
  const Case cases[] = {
      {0, 0, 1024, 768, 0, 0},        {1, 1, 1024, 768, 0, 0},   {2, 2, 1024, 768, 0, 0},
      {3, 3, 1024, 768, 4, 4},        {255, 190, 1024, 768, 1024, 768},
      {255, 255, 1024, 768, 1024, 1033},  // not held inside the desktop
      {130, 96, 1920, 1080, 971, 540},
      {128, 96, 65535, 65535, 32637, 32767},  // no 32-bit overflow on the largest desktop
  };
  for (const Case& c : cases) {
    RegionOrigin o = RegionOriginFor(c.p0, c.p1, c.w, c.h);
    EXPECT_EQ(o.x, c.x) << int(c.p0) << "," << int(c.p1) << " on " << c.w << "x" << c.h;
    EXPECT_EQ(o.y, c.y) << int(c.p0) << "," << int(c.p1) << " on " << c.w << "x" << c.h;
  }
}

TEST_F(FrameTransferTest, RegionRequestCapturesAtTheMappedOrigin) {
  desktop.width = 1024;
  desktop.height = 768;
  Receive({24, 255, 190});
  Receive({24, 66, 49});
  Receive({24});  // missing bytes read as 0
  EXPECT_EQ(desktop.requests, (std::vector<std::string>{"region 1024 768", "region 259 192", "region 0 0"}));
}

TEST_F(FrameTransferTest, RegionRequestWithoutDesktopSizeSendsNothing) {
  desktop.size_ok = false;
  EXPECT_TRUE(Receive({24, 100, 100}).empty());
  EXPECT_TRUE(desktop.requests.empty());
}

TEST_F(FrameTransferTest, PicturesGoOnlyToTheConnectedClient) {
  net.Queue({22}, Endpoint(127, 0, 0, 9, 1));
  server.PollNetwork();
  EXPECT_TRUE(desktop.requests.empty());
  EXPECT_TRUE(net.sent.empty());
}

}  // namespace
}  // namespace ravelo
