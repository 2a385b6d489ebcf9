// Portable stand-ins for the Windows time records and their conversions.
//
// A FILETIME is the 64-bit count of 100-nanosecond intervals since
// 1 January 1601 (UTC on Windows; the system stores and reads the server's
// message times without converting between universal and local time).
// The conversions follow Windows' own rules for what fails.
#pragma once

#include <cstdint>

namespace obrix {

struct FILETIME {
  uint32_t dwLowDateTime = 0;
  uint32_t dwHighDateTime = 0;

  uint64_t Ticks() const { return (uint64_t{dwHighDateTime} << 32) | dwLowDateTime; }
  static FILETIME FromTicks(uint64_t ticks) {
    return FILETIME{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
  }
  bool IsZero() const { return Ticks() == 0; }
  bool operator==(const FILETIME&) const = default;
};

struct SYSTEMTIME {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;
};

// Calendar fields of a FILETIME. Fails (returns false, `out` untouched)
// for a value of 0x8000000000000000 or more, as Windows does.
bool FileTimeToSystemTime(const FILETIME& in, SYSTEMTIME& out);

// FILETIME of calendar fields. Fails (returns false, `out` untouched) for a
// year outside 1601..30827, a month outside 1..12, a day outside the month,
// an hour above 23, a minute or second above 59 or milliseconds above 999.
// The day of the week is ignored.
bool SystemTimeToFileTime(const SYSTEMTIME& in, FILETIME& out);

}  // namespace obrix
