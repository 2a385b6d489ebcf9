#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace obrix {

namespace {

class MachineClock final : public Clock {
 public:
  SYSTEMTIME LocalNow() const override { return obrix::LocalNow(); }
};

}  // namespace

FILETIME LocalNowFileTime() {
  FILETIME ft;
  SystemTimeToFileTime(LocalNow(), ft);
  return ft;
}

// mktime reads the fields as local time and gives the universal seconds;
// the same fields read as universal time, less those seconds, are the
// offset. Only standard C and C++ are used, so both systems share this.
std::optional<int32_t> LocalUtcOffsetSeconds(const SYSTEMTIME& local) {
  std::tm fields{};
  fields.tm_year = local.wYear - 1900;
  fields.tm_mon = local.wMonth - 1;
  fields.tm_mday = local.wDay;
  fields.tm_hour = local.wHour;
  fields.tm_min = local.wMinute;
  fields.tm_sec = local.wSecond;
  fields.tm_isdst = -1;
  const std::time_t universal = std::mktime(&fields);
  if (universal == static_cast<std::time_t>(-1)) return std::nullopt;
  // mktime moved the fields to the time it chose (a time in the hour that
  // a clock change skips is moved on); the offset is the one of that time.
  using namespace std::chrono;
  const sys_days day =
      year_month_day{year{fields.tm_year + 1900}, month{static_cast<unsigned>(fields.tm_mon + 1)},
                     std::chrono::day{static_cast<unsigned>(fields.tm_mday)}};
  const int64_t asUniversal = duration_cast<seconds>(day.time_since_epoch()).count() +
                              int64_t{fields.tm_hour} * 3600 + int64_t{fields.tm_min} * 60 +
                              fields.tm_sec;
  return static_cast<int32_t>(asUniversal - static_cast<int64_t>(universal));
}

const Clock& SystemClock() {
  static const MachineClock clock;
  return clock;
}

}  // namespace obrix
