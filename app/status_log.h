// The log pane of the server window: where the session's log lines (server/status_log.h) go.
#pragma once

#include "server/status_log.h"

namespace ravelo {

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
