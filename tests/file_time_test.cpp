#include "platform/file_time.h"

#include <gtest/gtest.h>

namespace obrix {
namespace {

SYSTEMTIME Calendar(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                    int ms = 0) {
  SYSTEMTIME st;
  st.wYear = static_cast<uint16_t>(year);
  st.wMonth = static_cast<uint16_t>(month);
  st.wDay = static_cast<uint16_t>(day);
  st.wHour = static_cast<uint16_t>(hour);
  st.wMinute = static_cast<uint16_t>(minute);
  st.wSecond = static_cast<uint16_t>(second);
  st.wMilliseconds = static_cast<uint16_t>(ms);
  return st;
}

TEST(FileTimeTest, CountsHundredNanosecondsFrom1601) {
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(Calendar(1601, 1, 1), ft));
  EXPECT_EQ(ft.Ticks(), 0u);
  // The Unix epoch lies 11,644,473,600 seconds after 1 January 1601.
  ASSERT_TRUE(SystemTimeToFileTime(Calendar(1970, 1, 1), ft));
  EXPECT_EQ(ft.Ticks(), 116444736000000000ULL);
  ASSERT_TRUE(SystemTimeToFileTime(Calendar(1970, 1, 1, 0, 0, 1, 5), ft));
  EXPECT_EQ(ft.Ticks(), 116444736000000000ULL + 10'050'000ULL);
}

TEST(FileTimeTest, RoundTripsThroughCalendarFields) {
  for (const SYSTEMTIME& in : {Calendar(2001, 3, 5, 9, 7), Calendar(2000, 2, 29, 23, 59, 59, 999),
                               Calendar(1999, 12, 31, 12, 0, 30), Calendar(30827, 12, 31)}) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(in, ft));
    SYSTEMTIME out;
    ASSERT_TRUE(FileTimeToSystemTime(ft, out));
    EXPECT_EQ(out.wYear, in.wYear);
    EXPECT_EQ(out.wMonth, in.wMonth);
    EXPECT_EQ(out.wDay, in.wDay);
    EXPECT_EQ(out.wHour, in.wHour);
    EXPECT_EQ(out.wMinute, in.wMinute);
    EXPECT_EQ(out.wSecond, in.wSecond);
    EXPECT_EQ(out.wMilliseconds, in.wMilliseconds);
  }
  SYSTEMTIME monday;
  ASSERT_TRUE(FileTimeToSystemTime(FILETIME{}, monday));
  EXPECT_EQ(monday.wDayOfWeek, 1);  // 1 January 1601 was a Monday
}

TEST(FileTimeTest, FailsWhereWindowsFails) {
  FILETIME ft = FILETIME::FromTicks(42);
  for (const SYSTEMTIME& bad :
       {Calendar(1600, 12, 31), Calendar(30828, 1, 1), Calendar(2024, 13, 1), Calendar(2024, 0, 1),
        Calendar(2023, 2, 29), Calendar(2024, 4, 31), Calendar(2024, 1, 0),
        Calendar(2024, 1, 1, 24), Calendar(2024, 1, 1, 0, 60), Calendar(2024, 1, 1, 0, 0, 60),
        Calendar(2024, 1, 1, 0, 0, 0, 1000)}) {
    EXPECT_FALSE(SystemTimeToFileTime(bad, ft));
  }
  EXPECT_EQ(ft.Ticks(), 42u);  // untouched
  SYSTEMTIME st = Calendar(1999, 1, 1);
  EXPECT_FALSE(FileTimeToSystemTime(FILETIME::FromTicks(0x8000000000000000ULL), st));
  EXPECT_EQ(st.wYear, 1999);
  EXPECT_TRUE(FileTimeToSystemTime(FILETIME::FromTicks(0x7FFFFFFFFFFFFFFFULL), st));
  EXPECT_EQ(st.wYear, 30828);
}

}  // namespace
}  // namespace obrix
