// The local wall clock, read field by field.
#pragma once

#include "platform/file_time.h"

namespace obrix {

// The current local date and time (milliseconds included).
SYSTEMTIME LocalNow();

// The current local date and time as a FILETIME (local, not universal:
// the board stores message times as the server's wall clock shows them).
FILETIME LocalNowFileTime();

}  // namespace obrix
