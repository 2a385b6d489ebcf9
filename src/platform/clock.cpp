#include "platform/clock.h"

namespace obrix {

FILETIME LocalNowFileTime() {
  FILETIME ft;
  SystemTimeToFileTime(LocalNow(), ft);
  return ft;
}

}  // namespace obrix
