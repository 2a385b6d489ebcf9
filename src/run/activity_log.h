// The activity log: the program's only report of what it did.
//
// Every line goes to one text file, "obrix.log" in the current working
// directory, opened, appended to and closed on every call. A time-stamped
// line starts with the local date (mm/dd/yyyy), a blank, the local time
// (hh:mm:ss) and a blank. Lines end with CR LF.
#pragma once

#include <string>

#include "platform/clock.h"

namespace obrix {

class ActivityLog {
 public:
  explicit ActivityLog(std::string path = "obrix.log") : path_(std::move(path)) {}

  // Writes `message`. With `timeStamp` the date and time come first; with
  // both `noLineEnd` and `timeStamp` the line is left open so that the next
  // call continues it. Raises LogFailure when the log cannot be opened or
  // written.
  void WriteLog(const std::string& message, bool noLineEnd, bool timeStamp);

  // One complete, time-stamped line: WriteLog(message, false, true).
  void Line(const std::string& message) { WriteLog(message, false, true); }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// "mm/dd/yyyy" and "hh:mm:ss" of the current local time, read date first.
std::string LogDate();
std::string LogTime();
// The same of one reading of `clock`.
std::string LogDate(const Clock& clock);
std::string LogTime(const Clock& clock);

}  // namespace obrix
