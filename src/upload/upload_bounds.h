// What one upload may cost, however its REP packet is made: a bound on the
// control lines it acts on and on the log lines of one kind it writes.
//
// A REP is the caller's to shape: thousands of CONFIG lines, or thousands
// of copies of one reply, would otherwise each cost a write or a log line.
// One UploadBounds serves one upload; its Summarise() ends it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "run/activity_log.h"

namespace obrix {

class UploadBounds {
 public:
  // The most control lines (a CONFIG line, or the command of a control
  // message's subject) one upload acts on.
  static constexpr int32_t kMostControlLines = 1000;
  // The most log lines of one kind one upload writes; the rest are counted.
  static constexpr int32_t kMostLinesOfAKind = 20;

  explicit UploadBounds(ActivityLog& log) : log_(log) {}

  // Logs `line`, one of the lines of `kind` (the words that open every
  // line of that kind, such as "Duplicate message to"), unless
  // kMostLinesOfAKind of them were logged already; then only counts it.
  // True when it was logged.
  bool Line(const std::string& kind, const std::string& line);

  // True when one more control line may be acted on (it is counted);
  // false once kMostControlLines were, and the line is counted as left.
  bool TakeControlLine();

  // One line for each kind of line left out, with how many, then one for
  // the control lines left, if any; a second call adds only what was left
  // out since the first.
  void Summarise();

 private:
  ActivityLog& log_;
  std::vector<std::pair<std::string, int32_t>> kinds_;  // in the order first seen
  int32_t controlLines_ = 0;
  int32_t controlLinesLeft_ = 0;
};

}  // namespace obrix
