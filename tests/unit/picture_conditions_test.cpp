// Pictures under bad local conditions, through the real capture and JPEG writer over a
// desktop in memory: a working directory that cannot be written, a picture file replaced
// between its write and its read. Each request fails quietly, and the next one works once
// the condition clears. (A desktop that cannot be read or a file name that cannot be
// written fails the capture, capture_desktop_test; a failed capture or a missing file is
// quiet, frame_transfer_test.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "fake_session_clock.h"
#include "fake_socket_layer.h"
#include "imaging/desktop_capture.h"
#include "imaging/soft/soft_desktop.h"
#include "imaging/soft/soft_gdi.h"
#include "recording_log.h"
#include "server/stream_server.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const Ipv4Endpoint kClient = Endpoint(127, 0, 0, 1, 40000);

// The real capture, with a hook between the file's write and the server's read of it.
class TamperedCapture : public DesktopCapture {
 public:
  explicit TamperedCapture(DesktopCapture& real) : real_(real) {}
  std::function<void(const char* file)> after_write;

  bool DesktopSize(std::uint16_t& w, std::uint16_t& h) override { return real_.DesktopSize(w, h); }
  bool CaptureDesktop(bool full, std::uint16_t x, std::uint16_t y) override {
    bool ok = real_.CaptureDesktop(full, x, y);
    if (ok && after_write) after_write(full ? kFullViewFile : kRegionViewFile);
    return ok;
  }

 private:
  DesktopCapture& real_;
};

Bytes FileBytes(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PictureConditionsTest : public ::testing::Test {
 public:  // the cases of the table reach in
  fs::path old_dir = fs::current_path();
  fs::path dir = fs::temp_directory_path() /
                 ("ravelo-conditions-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  SoftDesktop desktop{SoftGdi::Default()};
  GdiDesktopCapture capture{desktop};
  TamperedCapture tampered{capture};
  FakeSocketLayer net;
  RecordingLog log;
  FakeSessionClock clock;
  StreamServer server{8888, ServerServices{net, log, clock, nullptr, &tampered}};

  void SetUp() override {
    fs::create_directories(dir);
    fs::current_path(dir);
    std::vector<std::uint32_t> rgb(1024 * 768);
    for (std::uint32_t i = 0; i < rgb.size(); ++i) {
      std::uint32_t x = i % 1024, y = i / 1024;
      rgb[i] = (x / 4) << 16 | (y / 3) << 8 | ((x / 64 + y / 64) % 2) * 0xFF;
    }
    ASSERT_TRUE(desktop.ShowPicture(1024, 768, rgb));
    ASSERT_TRUE(server.StartServer(""));
    Receive({0});
    ASSERT_TRUE(server.IsConnected());
    log.lines.clear();
  }
  void TearDown() override {
    fs::current_path(old_dir);
    fs::remove_all(dir);
  }

  std::vector<Bytes> Receive(const Bytes& b) {
    std::size_t before = net.sent.size();
    net.Queue(b, kClient);
    server.PollNetwork();
    std::vector<Bytes> replies;
    for (std::size_t i = before; i < net.sent.size(); ++i) replies.push_back(net.sent[i].bytes);
    return replies;
  }

  // Asks for a view and all its chunks; the picture, or nothing when it was not announced.
  Bytes Fetch(bool full) {
    std::vector<Bytes> ready = Receive(full ? Bytes{22} : Bytes{24, 100, 100});
    if (ready.empty()) return {};
    EXPECT_EQ(ready.size(), 1u);
    EXPECT_EQ(ready[0].size(), 2u);
    Bytes picture;
    for (std::uint8_t i = 0; i < ready[0][1]; ++i) {
      std::vector<Bytes> chunk = Receive({static_cast<std::uint8_t>(full ? 23 : 25), i});
      EXPECT_EQ(chunk.size(), 1u);
      if (chunk.size() == 1) picture.insert(picture.end(), chunk[0].begin() + 2, chunk[0].end());
    }
    return picture;
  }
};

TEST_F(PictureConditionsTest, RequestFailsQuietlyAndTheNextOneWorks) {
  auto tamper = [](std::function<void(const char*)> f) {
    return [f](PictureConditionsTest& t) { t.tampered.after_write = f; };
  };
  auto untamper = [](PictureConditionsTest& t) { t.tampered.after_write = nullptr; };
  struct Case {
    const char* name;
    std::function<void(PictureConditionsTest&)> set;
    std::function<void(PictureConditionsTest&)> clear;
    bool logged = false;  // "... is not a regular file"
  };
  const Case cases[] = {
      {"working directory removed", [](PictureConditionsTest& t) { fs::remove_all(t.dir); },
       [](PictureConditionsTest& t) {
         fs::create_directories(t.dir);
         fs::current_path(t.dir);
       }},
      {"file replaced by a directory after its write",
       tamper([](const char* f) {
         fs::remove(f);
         fs::create_directory(f);
       }),
       [](PictureConditionsTest& t) {
         t.tampered.after_write = nullptr;
         fs::remove(kFullViewFile);
         fs::remove(kRegionViewFile);
       },
       true},
      {"file replaced by one too big to send after its write",
       tamper([](const char* f) { std::ofstream(f, std::ios::binary) << std::string(40000, 'x'); }),
       untamper},
  };
  for (const Case& c : cases) {
    for (bool full : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (full ? ", full view" : ", region view"));
      c.set(*this);
      log.lines.clear();
      EXPECT_TRUE(Receive(full ? Bytes{22} : Bytes{24, 100, 100}).empty());  // no ready message
      EXPECT_EQ(log.lines, c.logged ? std::vector<std::string>{std::string(full ? kFullViewFile : kRegionViewFile) +
                                                               " is not a regular file; the picture was not sent."}
                                    : std::vector<std::string>{});
      EXPECT_TRUE(server.IsRunning());
      EXPECT_TRUE(server.IsConnected());
      c.clear(*this);
      Bytes picture = Fetch(full);
      ASSERT_GT(picture.size(), 4u);
      EXPECT_EQ(picture, FileBytes(full ? kFullViewFile : kRegionViewFile));
      EXPECT_EQ(picture[0], 0xFF);
      EXPECT_EQ(picture[1], 0xD8);  // a JPEG from start to end
      EXPECT_EQ(picture[picture.size() - 2], 0xFF);
      EXPECT_EQ(picture.back(), 0xD9);
    }
  }
}

}  // namespace
}  // namespace ravelo
