// The local wall clock, read field by field.
#pragma once

#include <optional>

#include "platform/file_time.h"

namespace obrix {

// The current local date and time (milliseconds included).
SYSTEMTIME LocalNow();

// The current local date and time as a FILETIME (local, not universal:
// the board stores message times as the server's wall clock shows them).
FILETIME LocalNowFileTime();

// How far the local wall-clock time `local` is ahead of universal time, in
// seconds (negative west of Greenwich), by the time zone rules in force
// on that date; nullopt when the system cannot place the time.
std::optional<int32_t> LocalUtcOffsetSeconds(const SYSTEMTIME& local);

// The clock a run reads the local time from; a test hands in a clock of
// its own to fix the time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual SYSTEMTIME LocalNow() const = 0;
};

// The machine's clock: LocalNow().
const Clock& SystemClock();

}  // namespace obrix
