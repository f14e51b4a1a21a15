// What a picture request costs on an X11 desktop, grab to written JPEG, on one thread:
// the full view and the region view of a busy 1920x1080 desktop on a private Xvfb, its
// parts on their own, and beside it, alternating round by round, ffmpeg's x11grab with an
// area scale and a JPEG written per frame.
//
//   x11_capture_bench [--rounds N] [--frames N] [--no-ffmpeg]
#include <spawn.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "imaging/x11/x11_capture.h"
#include "imaging/view/view_picture.h"
#include "imaging/view/bgrx_halftone.h"
#include "x11_test_display.h"

extern char** environ;

namespace ravelo {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// The server's part alone: the whole screen into shared memory, one request.
class PlainGrab {
 public:
  explicit PlainGrab(const std::string& display) : connection_(xcb_connect(display.c_str(), nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    const size_t bytes = static_cast<size_t>(kWidth) * kHeight * 4;
    id_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    memory_ = shmat(id_, nullptr, 0);
    seg_ = xcb_generate_id(connection_);
    xcb_shm_attach(connection_, seg_, static_cast<uint32_t>(id_), 0);
  }
  ~PlainGrab() {
    xcb_shm_detach(connection_, seg_);
    xcb_disconnect(connection_);
    shmdt(memory_);
    shmctl(id_, IPC_RMID, nullptr);
  }
  bool Grab() {
    xcb_shm_get_image_reply_t* r = xcb_shm_get_image_reply(
        connection_, xcb_shm_get_image(connection_, root_, 0, 0, kWidth, kHeight, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, seg_, 0), nullptr);
    const bool ok = r != nullptr;
    std::free(r);
    return ok;
  }
  const uint8_t* Memory() const { return static_cast<const uint8_t*>(memory_); }

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_;
  int id_;
  void* memory_;
  xcb_shm_seg_t seg_;
};

// Wall time of one ffmpeg run that grabs, scales and writes `frames` JPEGs; -1 on failure.
double RunFfmpeg(const std::string& display, int frames, const std::string& out) {
  // The frame rate is set far above what either side reaches, so that x11grab never
  // waits for the next frame's time, and frames pass through as grabbed: at a constant
  // output rate ffmpeg would repeat frames to fill the time and count those too.
  const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
  const std::string count = std::to_string(frames);
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-threads", "1",
                                   "-f", "x11grab", "-video_size", size, "-framerate", "100000", "-i",
                                   display, "-frames:v", count, "-vf", "scale=256:192:flags=area",
                                   "-filter_threads", "1", "-threads", "1", "-fps_mode", "passthrough", "-f", "image2", "-update", "1",
                                   out};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const double start = bench::NowMs();
  pid_t pid;
  if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double took = bench::NowMs() - start;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -1;
}

int Run(int rounds, int frames, bool ffmpeg) {
  if (!testing::XvfbInstalled()) {
    std::puts("Xvfb is not installed");
    return 77;
  }
  testing::PrivateXvfb xvfb(kWidth, kHeight);
  if (!xvfb.Running() || !testing::ShowOnRoot(xvfb.Name(), kWidth, kHeight, bench::BusyDesktop(kWidth, kHeight)) ||
      !testing::WarpPointer(xvfb.Name(), kWidth / 2, kHeight / 2)) {
    std::puts("could not start Xvfb with a desktop picture");
    return 1;
  }
  std::unique_ptr<DesktopCapture> capture = MakeX11DesktopCapture(xvfb.Name().c_str());
  if (!capture) {
    std::puts("no capture for the display");
    return 1;
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("ravelo-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);

  PlainGrab grab(xvfb.Name());
  view::ViewPicture view;
  std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 4);
  const SurfaceView source{frame.data(), kWidth * 4, kWidth, kHeight, 32};
  // The desktop stands still: one grab serves every halftone.
  bool failed = !grab.Grab();
  std::memcpy(frame.data(), grab.Memory(), frame.size());

  const std::vector<std::pair<const char*, std::function<bool()>>> steps = {
      {"full", [&] { return capture->CaptureDesktop(true, 0, 0); }},
      {"region", [&] { return capture->CaptureDesktop(false, 800, 500); }},
      {"grab", [&] { return grab.Grab(); }},
      {"halftone", [&] { return view::HalftoneFromBgrx(view.Surface(), source); }},
      // The same averages through the software drawer's stretch, for comparison.
      {"generic", [&] { return HalftoneStretch(view.Surface(), 0, 0, kViewWidth, kViewHeight, source); }},
      {"jpeg+write", [&] { return view.Save(kFullViewFile); }},
  };
  std::printf("%dx%d busy desktop on Xvfb %s, %d frames a round; milliseconds per frame (median)\n", kWidth,
              kHeight, xvfb.Name().c_str(), frames);
  std::printf("round ");
  for (const auto& step : steps) std::printf(" %10s", step.first);
  std::printf("     ffmpeg  ffmpeg/full\n");
  // Per step, then ffmpeg's (0 when left out), the median of each round.
  std::vector<std::vector<double>> columns(steps.size() + 1);
  auto print = [&](const std::string& label, auto value) {
    std::printf("%-6s", label.c_str());
    for (const std::vector<double>& c : columns) std::printf(" %10.3f", value(c));
    const double theirs = value(columns.back());
    std::printf(" %11.2fx\n", theirs > 0 ? theirs / value(columns.front()) : 0.0);
  };
  for (int r = 0; r < rounds && !failed; ++r) {
    for (size_t i = 0; i < steps.size(); ++i) {
      const std::vector<double> ms = bench::TimeRuns(frames, steps[i].second);
      failed |= ms.empty();
      columns[i].push_back(bench::Median(ms));
    }
    double theirs = 0;
    if (ffmpeg) {
      // Start-up cancels out between a long and a short run.
      const double longRun = RunFfmpeg(xvfb.Name(), frames + 50, "ffmpeg.jpg");
      const double shortRun = RunFfmpeg(xvfb.Name(), 50, "ffmpeg.jpg");
      ffmpeg = longRun >= 0 && shortRun >= 0;
      if (!ffmpeg) std::puts("ffmpeg failed or is not installed; comparison left out");
      theirs = ffmpeg ? (longRun - shortRun) / frames : 0;
    }
    columns.back().push_back(theirs);
    if (!failed) print(std::to_string(r + 1), [](const std::vector<double>& c) { return c.back(); });
  }
  if (failed) {
    std::puts("a capture failed");
  } else {
    // Rounds without ffmpeg count as 0 and are left out of its median.
    std::vector<double>& theirs = columns.back();
    theirs.erase(std::remove(theirs.begin(), theirs.end(), 0.0), theirs.end());
    print("median", [](const std::vector<double>& c) { return bench::Median(c); });
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);
  return failed ? 1 : 0;
}

}  // namespace
}  // namespace ravelo

int main(int argc, char** argv) {
  int rounds = 7;
  int frames = 200;
  bool ffmpeg = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc) rounds = std::atoi(argv[++i]);
    else if (a == "--frames" && i + 1 < argc) frames = std::atoi(argv[++i]);
    else if (a == "--no-ffmpeg") ffmpeg = false;
    else {
      std::fprintf(stderr, "usage: x11_capture_bench [--rounds N] [--frames N] [--no-ffmpeg]\n");
      return 2;
    }
  }
  if (rounds < 1 || frames < 1) return 2;
  return ravelo::Run(rounds, frames, ffmpeg);
}
