#include "headless_sway.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace ravelo::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

bool Installed(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The process's environment less what would point a child at another session.
std::vector<std::string> BaseEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string v = *e;
    const std::string name = v.substr(0, v.find('='));
    if (name != "WAYLAND_DISPLAY" && name != "WAYLAND_SOCKET" && name != "DISPLAY" && name != "XDG_RUNTIME_DIR" &&
        name != "SWAYSOCK")
      env.push_back(v);
  }
  return env;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WritePpm(const std::string& path, int32_t width, int32_t height, const std::vector<uint32_t>& rgb) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << width << " " << height << "\n255\n";
  std::string row(static_cast<size_t>(width) * 3, '\0');
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = rgb[static_cast<size_t>(y) * width + x];
      row[x * 3 + 0] = static_cast<char>(p >> 16);
      row[x * 3 + 1] = static_cast<char>(p >> 8);
      row[x * 3 + 2] = static_cast<char>(p);
    }
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
  return static_cast<bool>(out);
}

// grim's PPM (a "P6 W H 255" header, one line break, the pixels) as 0x00RRGGBB rows.
bool DecodePpm(const std::string& data, std::vector<uint32_t>* rgb, int32_t* width, int32_t* height) {
  int w = 0;
  int h = 0;
  int header = 0;
  if (std::sscanf(data.c_str(), "P6 %d %d 255%n", &w, &h, &header) != 2 || header == 0 || w <= 0 || h <= 0 ||
      data.size() < static_cast<size_t>(header) + 1 + static_cast<size_t>(w) * h * 3)
    return false;
  rgb->resize(static_cast<size_t>(w) * h);
  const auto* p = reinterpret_cast<const uint8_t*>(data.data() + header + 1);
  for (size_t i = 0; i < rgb->size(); ++i, p += 3) (*rgb)[i] = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  *width = w;
  *height = h;
  return true;
}

}  // namespace

std::string SwayUnavailable() {
  std::string missing;
  for (const char* p : {"sway", "swaybg", "grim", "wev", "unshare", "stdbuf"})
    if (!Installed(p)) missing += std::string(missing.empty() ? "" : " ") + p;
  if (!missing.empty()) return "not installed: " + missing;
  if (std::system("unshare --user --map-user=1000 --net true >/dev/null 2>&1") != 0)
    return "user namespaces are not available (sway will not run as root)";
  return "";
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                           const std::string& outputFile) {
  int fds[2] = {-1, -1};
  if (outputFile.empty() && pipe2(fds, O_CLOEXEC) != 0) return;
  std::vector<std::string> args = argv;
  std::vector<std::string> env = environment;
  std::vector<char*> a;
  std::vector<char*> e;
  for (std::string& s : args) a.push_back(s.data());
  for (std::string& s : env) e.push_back(s.data());
  a.push_back(nullptr);
  e.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    setpgid(0, 0);
    const int out = outputFile.empty() ? fds[1] : open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(out, 1);
    dup2(outputFile.empty() ? null : out, 2);
    execvpe(a[0], a.data(), e.data());
    _exit(127);
  }
  if (outputFile.empty()) {
    close(fds[1]);
    out_ = fds[0];
    if (pid_ < 0) {
      close(out_);
      out_ = -1;
    }
  }
  // The group exists before anything signals it.
  if (pid_ > 0) setpgid(pid_, pid_);
}

ChildProcess::~ChildProcess() {
  Stop();
  if (out_ >= 0) close(out_);
}

bool ChildProcess::Exited() {
  if (pid_ <= 0) return true;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == 0 || (r < 0 && errno != ECHILD)) return false;
  pid_ = -1;
  return true;
}

void ChildProcess::Stop() {
  if (pid_ <= 0) return;
  const pid_t group = pid_;
  kill(-group, SIGTERM);
  auto deadline = Clock::now() + milliseconds(3000);
  while (!Exited() && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(10));
  if (!Exited()) {
    kill(-group, SIGKILL);
    waitpid(group, nullptr, 0);
    pid_ = -1;
  }
  // What the child started in its group (sway's swaybg) ends with it; as the subreaper this
  // process is left to collect it.
  deadline = Clock::now() + milliseconds(2000);
  while (waitpid(-group, nullptr, WNOHANG) >= 0 || errno != ECHILD) {
    if (Clock::now() >= deadline) {
      kill(-group, SIGKILL);
      deadline = Clock::now() + milliseconds(2000);
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
}

bool ChildProcess::WaitForLine(const std::function<bool(const std::string&)>& wanted, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    while (seen_ < lines_.size())
      if (wanted(lines_[seen_++])) return true;
    if (out_ < 0) return false;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) {
      close(out_);
      out_ = -1;
      continue;
    }
    partial_.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = partial_.find('\n')) != std::string::npos; partial_.erase(0, end + 1))
      lines_.push_back(partial_.substr(0, end));
  }
}

HeadlessSway::HeadlessSway(int32_t width, int32_t height, const std::vector<uint32_t>& background,
                           const std::vector<std::string>& extraConfig) {
  // Whatever sway spawns and leaves becomes this process's to collect, not init's.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  char pattern[] = "/tmp/ravelo-sway-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    error_ = "no temporary directory";
    return;
  }
  dir_ = pattern;
  const std::string picture = dir_ + "/background.ppm";
  if (!WritePpm(picture, width, height, background)) {
    error_ = "cannot write the background";
    return;
  }
  {
    std::ofstream config(dir_ + "/config");
    config << "xwayland disable\n"
           << "output HEADLESS-1 mode " << width << "x" << height << " position 0 0 bg " << picture << " stretch\n"
           << "default_border none\n";
    for (const std::string& line : extraConfig) config << line << "\n";
  }
  std::vector<std::string> env = BaseEnvironment();
  env.push_back("XDG_RUNTIME_DIR=" + dir_);
  env.push_back("WLR_BACKENDS=headless");
  env.push_back("WLR_RENDERER=pixman");
  env.push_back("WLR_LIBINPUT_NO_DEVICES=1");
  // As uid 1000 of a user namespace (sway refuses root), with a network of its own.
  sway_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"unshare", "--user", "--map-user=1000", "--net", "sway", "-c", dir_ + "/config"}, env,
      dir_ + "/sway.log");
  const auto deadline = Clock::now() + milliseconds(5000);
  while (socket_.empty() && Clock::now() < deadline && !sway_->Exited()) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir_, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) socket_ = entry.path().string();
    }
    if (socket_.empty()) std::this_thread::sleep_for(milliseconds(20));
  }
  if (socket_.empty()) {
    const std::string log = ReadAll(dir_ + "/sway.log");
    error_ = "sway did not start: " + log.substr(log.size() > 600 ? log.size() - 600 : 0);
    return;
  }
  if (!WaitForBackground(background, width, height)) error_ = "sway does not show the background";
}

HeadlessSway::~HeadlessSway() {
  sway_.reset();
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

std::vector<std::string> HeadlessSway::ClientEnvironment() const {
  std::vector<std::string> env = BaseEnvironment();
  env.push_back("XDG_RUNTIME_DIR=" + dir_);
  env.push_back("WAYLAND_DISPLAY=" + std::filesystem::path(socket_).filename().string());
  return env;
}

bool HeadlessSway::Screenshot(std::vector<uint32_t>* rgb, int32_t* width, int32_t* height) const {
  const std::string file = dir_ + "/screen.ppm";
  {
    ChildProcess grim({"grim", "-t", "ppm", file}, ClientEnvironment(), dir_ + "/grim.log");
    const auto deadline = Clock::now() + milliseconds(5000);
    while (!grim.Exited() && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(5));
  }
  const bool ok = DecodePpm(ReadAll(file), rgb, width, height);
  std::remove(file.c_str());
  return ok;
}

bool HeadlessSway::WaitForBackground(const std::vector<uint32_t>& background, int32_t width, int32_t height) {
  const auto deadline = Clock::now() + milliseconds(5000);
  while (Clock::now() < deadline) {
    std::vector<uint32_t> shot;
    int32_t w = 0;
    int32_t h = 0;
    if (Screenshot(&shot, &w, &h) && w == width && h == height) {
      // The corners and the middle, away from where a cursor could be.
      bool same = true;
      for (const auto& [x, y] : {std::pair<int32_t, int32_t>{5, 5}, {width - 5, 5}, {5, height - 5},
                                 {width - 5, height - 5}, {width / 3, height / 3}}) {
        const size_t i = static_cast<size_t>(y) * width + x;
        same = same && shot[i] == background[i];
      }
      if (same) return true;
    }
    std::this_thread::sleep_for(milliseconds(50));
  }
  return false;
}

}  // namespace ravelo::testing
