#include "platform/file_time.h"

namespace obrix {

namespace {

constexpr uint64_t kTicksPerMillisecond = 10'000;
constexpr uint64_t kTicksPerDay = 86'400'000ULL * kTicksPerMillisecond;

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 1970 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

// Days from 1 January 1601 to 1 January 1970.
constexpr int64_t kEpochOffsetDays = 134774;

}  // namespace

bool FileTimeToSystemTime(const FILETIME& in, SYSTEMTIME& out) {
  const uint64_t ticks = in.Ticks();
  if (ticks >= 0x8000000000000000ULL) return false;
  const uint64_t days = ticks / kTicksPerDay;
  uint64_t rest = ticks % kTicksPerDay;
  int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(static_cast<int64_t>(days) - kEpochOffsetDays, year, month, day);
  SYSTEMTIME st;
  st.wYear = static_cast<uint16_t>(year);
  st.wMonth = static_cast<uint16_t>(month);
  st.wDay = static_cast<uint16_t>(day);
  st.wDayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 1 January 1601 was a Monday
  const uint64_t ms = rest / kTicksPerMillisecond;
  st.wHour = static_cast<uint16_t>(ms / 3'600'000);
  st.wMinute = static_cast<uint16_t>(ms / 60'000 % 60);
  st.wSecond = static_cast<uint16_t>(ms / 1000 % 60);
  st.wMilliseconds = static_cast<uint16_t>(ms % 1000);
  out = st;
  return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME& in, FILETIME& out) {
  if (in.wYear < 1601 || in.wYear > 30827) return false;
  if (in.wMonth < 1 || in.wMonth > 12) return false;
  if (in.wDay < 1 || in.wDay > DaysInMonth(in.wYear, in.wMonth)) return false;
  if (in.wHour > 23 || in.wMinute > 59 || in.wSecond > 59 || in.wMilliseconds > 999) return false;
  const int64_t days = DaysFromCivil(in.wYear, in.wMonth, in.wDay) + kEpochOffsetDays;
  const uint64_t ms = static_cast<uint64_t>(days) * 86'400'000ULL + in.wHour * 3'600'000ULL +
                      in.wMinute * 60'000ULL + in.wSecond * 1000ULL + in.wMilliseconds;
  out = FILETIME::FromTicks(ms * kTicksPerMillisecond);
  return true;
}

}  // namespace obrix
