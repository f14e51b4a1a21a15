// The server program's command line, the same for the Windows and the Linux program. It is
// read before any window exists, so that --help and --version answer without a display.
#pragma once

#include <string>
#include <vector>

namespace ravelo {

struct ProgramOptions {
  enum class Action { kRun, kHelp, kVersion, kAutostart, kUsageError };
  Action action = Action::kRun;
  std::string problem;  // for kUsageError
  bool fastAnswers = false;  // --fast-answers: answer each datagram as soon as it is read
  std::string backend;       // --backend NAME: the desktop service of the Linux program
  bool autostart = false;  // for kAutostart: on or off
};

// `args` are the arguments after the program's name.
ProgramOptions ParseProgramArguments(const std::vector<std::string>& args);

// What the program prints for --help, for --version, and (to standard error, with the
// problem) for a bad argument; `name` is the program's file name, `backends` whether it
// chooses among desktop services (the Linux program).
std::string ProgramHelp(const char* name, bool backends = false);
std::string ProgramVersion(const char* name);
std::string ProgramUsageLine(const char* name, bool backends = false);

// Exit code for a bad argument.
constexpr int kExitUsage = 2;

}  // namespace ravelo
