#include <sys/time.h>

#include <ctime>

#include "platform/clock.h"

namespace obrix {

SYSTEMTIME LocalNow() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm local{};
  const time_t seconds = tv.tv_sec;
  localtime_r(&seconds, &local);
  SYSTEMTIME st;
  st.wYear = static_cast<uint16_t>(local.tm_year + 1900);
  st.wMonth = static_cast<uint16_t>(local.tm_mon + 1);
  st.wDay = static_cast<uint16_t>(local.tm_mday);
  st.wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
  st.wHour = static_cast<uint16_t>(local.tm_hour);
  st.wMinute = static_cast<uint16_t>(local.tm_min);
  st.wSecond = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  st.wMilliseconds = static_cast<uint16_t>(tv.tv_usec / 1000);
  return st;
}

}  // namespace obrix
