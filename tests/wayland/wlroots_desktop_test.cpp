// The wlroots backend on a headless sway of the test's own, through the factory the program's
// entry calls: both views against `grim`'s screenshot put through the same halftone, and what
// a full-screen `wev` window sees of the injected pointer, buttons and keys, held ones too.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "headless_sway.h"
#include "imaging/view/view_picture.h"
#include "imaging_test_support.h"
#include "input/inject.h"
#include "input/x11/x11_keys.h"
#include "app/gtk/wlroots_desktop.h"

namespace ravelo {
namespace {

using std::chrono::milliseconds;
using testing::ChildProcess;
using testing::DecodedPicture;
using testing::HeadlessSway;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
// The same pixels through the same encoder give the same file; this leaves room for rounding
// only, while a frame upside down, a row off or a cursor drawn twice shows far above it.
constexpr int kNoise = 4;

class WlrootsDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string unavailable = testing::SwayUnavailable();
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    background_ = bench::BusyDesktop(kWidth, kHeight);
    sway_ = std::make_unique<HeadlessSway>(kWidth, kHeight, background_,
                                           std::vector<std::string>{"for_window [app_id=\"wev\"] fullscreen enable"});
    ASSERT_TRUE(sway_->Running()) << sway_->Error();
    std::string why;
    desktop_ = WlrootsDesktop::Open(sway_->Socket().c_str(), &why);
    ASSERT_TRUE(desktop_) << why;
    capture_ = desktop_->TakeCapture();
    input_ = desktop_->TakeInput();
    ASSERT_TRUE(capture_ && input_);
    injector_ = std::make_unique<SinkInputInjector>(*input_, *capture_);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(scratch_.Path());
  }

  void TearDown() override {
    if (!previous_.empty()) std::filesystem::current_path(previous_);
  }

  // Lets the compositor's answers in for a while, as the main loop would.
  void Settle(milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
      ASSERT_TRUE(desktop_->Dispatch());
      std::this_thread::sleep_for(milliseconds(5));
    }
  }

  // A full-screen wev, started once the virtual devices exist, so that it hears them, and with the
  // pointer on it: a button pressed before the window is there would go nowhere.
  std::unique_ptr<ChildProcess> StartWev() {
    auto wev = std::make_unique<ChildProcess>(std::vector<std::string>{"stdbuf", "-oL", "wev"},
                                              sway_->ClientEnvironment());
    EXPECT_TRUE(Sees(*wev, {"configure: width: 1920"}, milliseconds(5000)));
    for (int i = 0; i < 50; ++i) {
      injector_->MovePointerAbsolute(static_cast<uint8_t>(100 + i % 2), 100);
      if (Sees(*wev, {"wl_pointer] enter"}, milliseconds(100))) return wev;
    }
    ADD_FAILURE() << "the pointer never entered wev";
    return wev;
  }

  // Whether wev prints a line holding every one of `parts` in time.
  static ::testing::AssertionResult Sees(ChildProcess& wev, const std::vector<std::string>& parts,
                                         milliseconds timeout = milliseconds(3000)) {
    if (wev.WaitForLine(
            [&](const std::string& line) {
              for (const std::string& p : parts)
                if (line.find(p) == std::string::npos) return false;
              return true;
            },
            timeout))
      return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure() << "wanted " << parts.back() << " in:\n";
    for (const std::string& l : wev.Lines()) failure << l << "\n";
    return failure;
  }

  testing::ScratchDir scratch_;
  std::filesystem::path previous_;
  std::vector<uint32_t> background_;
  std::unique_ptr<HeadlessSway> sway_;
  std::unique_ptr<WlrootsDesktop> desktop_;
  std::unique_ptr<DesktopCapture> capture_;
  std::unique_ptr<InputSink> input_;
  std::unique_ptr<SinkInputInjector> injector_;
};

struct View {
  const char* name;
  bool full;
  uint16_t x, y;
};

TEST_F(WlrootsDesktopTest, ViewsMatchTheCompositorsOwnScreenshot) {
  uint16_t width = 0;
  uint16_t height = 0;
  ASSERT_TRUE(capture_->DesktopSize(width, height));
  EXPECT_EQ(width, kWidth);
  EXPECT_EQ(height, kHeight);

  // The cursor near the middle, inside the first region; the compositor draws it into both.
  injector_->MovePointerAbsolute(128, 96);
  Settle(milliseconds(300));
  std::vector<uint32_t> shot;
  int32_t w = 0;
  int32_t h = 0;
  ASSERT_TRUE(sway_->Screenshot(&shot, &w, &h));
  ASSERT_EQ(w, kWidth);
  ASSERT_EQ(h, kHeight);
  std::vector<uint8_t> bgrx(shot.size() * 4);
  for (size_t i = 0; i < shot.size(); ++i) {
    bgrx[i * 4 + 0] = static_cast<uint8_t>(shot[i]);
    bgrx[i * 4 + 1] = static_cast<uint8_t>(shot[i] >> 8);
    bgrx[i * 4 + 2] = static_cast<uint8_t>(shot[i] >> 16);
  }
  const SurfaceView screen{bgrx.data(), kWidth * 4, kWidth, kHeight, 32};

  const View views[] = {
      {"full", true, 0, 0},
      {"region round the cursor", false, kWidth / 2 - 100, kHeight / 2 - 80},
      {"region past the corner", false, kWidth - 100, kHeight - 50},
  };
  for (const View& v : views) {
    SCOPED_TRACE(v.name);
    ASSERT_TRUE(capture_->CaptureDesktop(v.full, v.x, v.y));
    const char* file = v.full ? kFullViewFile : kRegionViewFile;
    DecodedPicture ours;
    ASSERT_TRUE(testing::DecodePictureFile(file, &ours));

    view::ViewPicture reference;
    if (v.full) {
      ASSERT_TRUE(view::ComposeFullView(reference, screen, view::CursorPicture{}));
    } else {
      const view::Rect area = view::RegionOnDesktop(v.x, v.y, kWidth, kHeight);
      std::vector<uint8_t> rows;
      for (int32_t r = 0; r < area.height; ++r) {
        const uint8_t* s = screen.Row(area.top + r) + area.left * 4;
        rows.insert(rows.end(), s, s + area.width * 4);
      }
      view::ComposeRegionView(reference, v.x, v.y, kWidth, kHeight, rows.data(), view::CursorPicture{});
    }
    ASSERT_TRUE(reference.Save("reference.jpg"));
    DecodedPicture theirs;
    ASSERT_TRUE(testing::DecodePictureFile("reference.jpg", &theirs));
    ASSERT_EQ(ours.width, kViewWidth);
    ASSERT_EQ(ours.height, kViewHeight);
    int worst = 0;
    for (int32_t y = 0; y < kViewHeight; ++y)
      for (int32_t x = 0; x < kViewWidth; ++x)
        worst = std::max(worst, testing::ChannelDistance(ours.At(x, y), theirs.At(x, y)));
    EXPECT_LE(worst, kNoise);
  }
}

TEST_F(WlrootsDesktopTest, WevSeesThePointerButtonsAndShiftedCharactersAndWhatWasHeldLetGo) {
  std::unique_ptr<ChildProcess> wev = StartWev();
  // The pixel the X11 sink would pick for this overview point.
  const uint8_t cx = 200;
  const uint8_t cy = 50;
  const NormalizedPoint p = NormalizeClientPoint(cx, cy);
  const std::string at = "x, y: " + std::to_string(x11::ScaleToPixels(p.x, kWidth)) + ".000000, " +
                         std::to_string(x11::ScaleToPixels(p.y, kHeight)) + ".000000";
  injector_->MovePointerAbsolute(cx, cy);
  EXPECT_TRUE(Sees(*wev, {"motion:", at}));
  injector_->LeftButtonDown();
  injector_->LeftButtonUp();
  EXPECT_TRUE(Sees(*wev, {"button: 272 (left), state: 1 (pressed)"}));
  EXPECT_TRUE(Sees(*wev, {"button: 272 (left), state: 0 (released)"}));
  // Each needs Shift on a US layout; the key alone would give 'h' and '1'.
  for (const char c : {'H', '!'}) {
    injector_->SendKey(static_cast<uint8_t>(c), true);
    injector_->SendKey(static_cast<uint8_t>(c), false);
    EXPECT_TRUE(Sees(*wev, {std::string("utf8: '") + c + "'"}));
  }
  // What is held at goodbye is let go.
  injector_->RightButtonDown();
  injector_->SendKey('a', true);
  EXPECT_TRUE(Sees(*wev, {"key: 38; state: 1 (pressed)"}));
  injector_->ReleaseHeld();
  EXPECT_TRUE(Sees(*wev, {"button: 273 (right), state: 0 (released)"}));
  EXPECT_TRUE(Sees(*wev, {"key: 38; state: 0 (released)"}));
}

}  // namespace
}  // namespace ravelo
