// The status log: every user-visible report of the program is one line in the window's log pane.
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

// The seam to the multi-line edit control that shows the log.
class LogPane {
 public:
  virtual ~LogPane() = default;
  // Counts the empty line after the last line break too, as an edit control does.
  virtual int LineCount() = 0;
  virtual void SetSelection(int start, int end) = 0;
  virtual void ReplaceSelection(const char* text) = 0;
};

// Writes the log into a pane, keeping it from growing without bound.
class PaneStatusLog : public StatusLog {
 public:
  explicit PaneStatusLog(LogPane& pane) : pane_(pane) {}

  static constexpr int kTrimAboveLines = 200;
  static constexpr int kTrimChars = 100;
  static constexpr int kEndOfPane = 99999;  // any position past the end selects the end

 protected:
  void AppendLine(const char* line) override;

 private:
  LogPane& pane_;
};

}  // namespace ravelo
