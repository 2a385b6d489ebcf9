// Starting a process on Windows, tried again where Wine fails a start for
// a reason of its own.
#pragma once

#include <windows.h>

namespace obrix {

// Runs `start` (a CreateProcess call) until it succeeds. Wine reports
// ERROR_INTERNAL_ERROR when the new process died while it was being set up
// (seen with several programs starting at once on a loaded machine): the
// same start is tried up to three more times, 250, 500 and 750 ms apart,
// before that counts. Any other failure counts at once. False when the
// start failed; GetLastError says why.
template <typename Start>
bool StartRetried(const Start& start) {
  for (int attempt = 1;; ++attempt) {
    if (start()) return true;
    if (::GetLastError() != ERROR_INTERNAL_ERROR || attempt == 4) return false;
    ::Sleep(static_cast<DWORD>(250 * attempt));
  }
}

}  // namespace obrix
