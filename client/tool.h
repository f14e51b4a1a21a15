// The ravelo-client command line: parsing, and running one command over the client library.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "client/client.h"
#include "client/bench.h"
#include "client/picture.h"

namespace ravelo {

enum ToolExit {
  kExitOk = 0,
  kExitRefused = 1,
  kExitUsage = 2,
  kExitNoAnswer = 3,
  kExitSocket = 4,
  kExitIncomplete = 5,
  kExitFile = 6,
};

struct ToolOptions {
  std::string command;            // connect, session, goodbye, send, view, or an input command
  std::string password;           // connect, session; view and input commands with --password
  bool has_password = false;      // view, input: connect first (else the --local-port session)
  PictureRequest picture;         // view; bench region: the origin
  bool bench_full = false;        // bench: which views
  bool bench_region = false;
  int count = 20;                 // bench: pictures of each view
  std::string file;               // view
  int hold_ms = 0;                // session
  std::vector<std::uint8_t> datagram;  // send
  std::vector<std::vector<std::uint8_t>> input;  // input commands: the messages, in order
  Ipv4Endpoint server;
  std::uint16_t local_port = 0;
  int timeout_ms = 3000;
  int wait_ms = 0;
  bool stay = false;
  bool help = false;
  bool version = false;
};

// The messages of one input command (move, click, type, ...) given its arguments after the
// command name. Returns "" or what is wrong; `recognised` says whether `command` is one.
std::string ParseInputCommand(const std::string& command, const std::vector<std::string>& args,
                              std::vector<std::vector<std::uint8_t>>* messages, bool* recognised);

// Fills `options` from the arguments after the program name. Returns "" or what is wrong.
std::string ParseToolArguments(const std::vector<std::string>& args, ToolOptions* options);
const char* ToolUsage();

int RunTool(const ToolOptions& options, ClientServices services, std::ostream& out,
            std::ostream& err);

// Parses, runs, and reports bad arguments with the usage text.
int ToolMain(const std::vector<std::string>& args, ClientServices services, std::ostream& out,
             std::ostream& err);

}  // namespace ravelo
