#include <windows.h>

#include "platform/clock.h"

namespace obrix {

SYSTEMTIME LocalNow() {
  ::SYSTEMTIME local;
  ::GetLocalTime(&local);
  SYSTEMTIME st;
  st.wYear = local.wYear;
  st.wMonth = local.wMonth;
  st.wDayOfWeek = local.wDayOfWeek;
  st.wDay = local.wDay;
  st.wHour = local.wHour;
  st.wMinute = local.wMinute;
  st.wSecond = local.wSecond;
  st.wMilliseconds = local.wMilliseconds;
  return st;
}

}  // namespace obrix
