#pragma once

#include <string>
#include <vector>

#include "server/status_log.h"

namespace ravelo {

// Keeps every logged line, without its line break.
class RecordingLog : public StatusLog {
 public:
  std::vector<std::string> lines;

 protected:
  void AppendLine(const char* line) override {
    std::string s(line);
    if (s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0) s.resize(s.size() - 2);
    lines.push_back(s);
  }
};

}  // namespace ravelo
