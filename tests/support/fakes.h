// Small stand-ins for a run's outside world: a clock that always shows one
// time, and a process runner that records the command lines it is given
// instead of running them.
#pragma once

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/command_runner.h"

namespace obrix::testing {

class FixedClock final : public Clock {
 public:
  explicit FixedClock(const SYSTEMTIME& now) : now_(now) {}
  SYSTEMTIME LocalNow() const override { return now_; }

 private:
  SYSTEMTIME now_;
};

// A local time given field by field.
inline SYSTEMTIME LocalTime(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME time;
  time.wYear = static_cast<uint16_t>(year);
  time.wMonth = static_cast<uint16_t>(month);
  time.wDay = static_cast<uint16_t>(day);
  time.wHour = static_cast<uint16_t>(hour);
  time.wMinute = static_cast<uint16_t>(minute);
  time.wSecond = static_cast<uint16_t>(second);
  return time;
}

class RecordingProcessRunner final : public ProcessRunner {
 public:
  struct Call {
    std::vector<std::string> arguments;
    ProcessOptions options;
  };

  // Every call returns `status` as the program's exit status.
  explicit RecordingProcessRunner(int status = 0) : status_(status) {}
  int Run(const std::vector<std::string>& arguments, const ProcessOptions& options) override {
    calls.push_back(Call{arguments, options});
    return status_;
  }

  std::vector<Call> calls;

 private:
  int status_;
};

}  // namespace obrix::testing
