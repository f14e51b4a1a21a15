#include "server/status_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ravelo {

void StatusLog::LogMessage(const char* format, ...) {
  char line[kLineBuffer];
  // Leave room for the line break so an over-long message is cut, not its "\r\n".
  constexpr int kTextRoom = kLineBuffer - 2;
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, kTextRoom, format, args);
  va_end(args);
  if (n < 0) {
    line[0] = '\0';
    n = 0;
  }
  std::size_t len = std::strlen(line);
  line[len] = '\r';
  line[len + 1] = '\n';
  line[len + 2] = '\0';
  AppendLine(line);
}

}  // namespace ravelo
