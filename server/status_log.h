// The session's log: every report the server makes for the user is one line of it. The window's
// log pane is one place it goes (app/status_log.h); tests record it.
#pragma once

namespace ravelo {

class StatusLog {
 public:
  virtual ~StatusLog() = default;

  // printf-style; appends one line. Formatted into a 256-byte line buffer with its "\r\n";
  // a longer message is cut so that the line break always fits.
  void LogMessage(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  static constexpr int kLineBuffer = 256;

 protected:
  // `line` ends in "\r\n".
  virtual void AppendLine(const char* line) = 0;
};

}  // namespace ravelo
