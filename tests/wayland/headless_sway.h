// A headless sway of the test's own, for the Wayland tests and the capture benchmark: run as
// uid 1000 of a user namespace (sway refuses root), software rendering, one output showing a
// known picture, a runtime directory of its own; and the Wayland clients the tests watch it with.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ravelo::testing {

// Why a headless sway cannot run here (a program missing, no user namespaces); empty when it can.
std::string SwayUnavailable();

// A child process in its own process group, stopped with the group on destruction, its output
// read line by line.
class ChildProcess {
 public:
  // Output goes to `outputFile`, or to a pipe read through WaitForLine when that is empty.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& outputFile = "");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Exited();
  // Reads lines until one satisfies `wanted` (true) or `timeout` passes or the output ends.
  bool WaitForLine(const std::function<bool(const std::string&)>& wanted, std::chrono::milliseconds timeout);
  // Everything read so far.
  const std::vector<std::string>& Lines() const { return lines_; }
  void Stop();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
  size_t seen_ = 0;
};

class HeadlessSway {
 public:
  // `background` is 0x00RRGGBB, rows from the top, width x height; extra lines go into the config.
  HeadlessSway(int32_t width, int32_t height, const std::vector<uint32_t>& background,
               const std::vector<std::string>& extraConfig = {});
  ~HeadlessSway();
  HeadlessSway(const HeadlessSway&) = delete;
  HeadlessSway& operator=(const HeadlessSway&) = delete;

  // Whether sway came up and shows the background; Error() says why not.
  bool Running() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  // The Wayland socket's absolute path, a display name for wl_display_connect.
  const std::string& Socket() const { return socket_; }
  // The environment a client of this session needs.
  std::vector<std::string> ClientEnvironment() const;

  // The output as `grim` sees it: 0x00RRGGBB rows from the top.
  bool Screenshot(std::vector<uint32_t>* rgb, int32_t* width, int32_t* height) const;

 private:
  bool WaitForBackground(const std::vector<uint32_t>& background, int32_t width, int32_t height);

  std::string dir_;
  std::string socket_;
  std::string error_;
  std::unique_ptr<ChildProcess> sway_;
};

}  // namespace ravelo::testing
