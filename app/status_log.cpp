#include "app/status_log.h"

namespace ravelo {

void PaneStatusLog::AppendLine(const char* line) {
  // Trimming whole characters, not lines, keeps this cheap; the pane only needs to stay bounded.
  if (pane_.LineCount() > kTrimAboveLines) {
    pane_.SetSelection(0, kTrimChars);
    pane_.ReplaceSelection("");
  }
  pane_.SetSelection(kEndOfPane, kEndOfPane);
  pane_.ReplaceSelection(line);
}

}  // namespace ravelo
