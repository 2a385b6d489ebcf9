#include "platform/clock.h"

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

const Clock& SystemClock() {
  static const MachineClock clock;
  return clock;
}

}  // namespace obrix
