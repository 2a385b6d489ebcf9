#include "run/activity_log.h"

#include <filesystem>
#include <system_error>

#include "base/failure.h"
#include "base/text.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace obrix {

std::string LogDate() { return LogDate(SystemClock()); }

std::string LogTime() { return LogTime(SystemClock()); }

std::string LogDate(const Clock& clock) {
  const SYSTEMTIME now = clock.LocalNow();
  return TwoDigits(now.wMonth) + "/" + TwoDigits(now.wDay) + "/" + std::to_string(now.wYear);
}

std::string LogTime(const Clock& clock) {
  const SYSTEMTIME now = clock.LocalNow();
  return TwoDigits(now.wHour) + ":" + TwoDigits(now.wMinute) + ":" + TwoDigits(now.wSecond);
}

void ActivityLog::WriteLog(const std::string& message, bool noLineEnd, bool timeStamp) {
  std::string text;
  if (timeStamp) {
    const std::string date = LogDate();
    const std::string time = LogTime();
    text = date + " " + time + " " + message;
    if (!noLineEnd) text += "\r\n";
  } else {
    text = message + "\r\n";
  }
  try {
    LocalFile file = LocalFile::OpenAppend(path_, /*create=*/true);
    file.Write(text);
    file.Close();
  } catch (const Failure& failure) {
    // Named in full: the sysop reads this away from the node's folder.
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path_, error);
    throw LogFailure("cannot write the log " + (error ? path_ : full.string()) + ": " +
                     failure.description());
  }
}

}  // namespace obrix
