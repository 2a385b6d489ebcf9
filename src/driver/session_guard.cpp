#include "driver/session_guard.h"

namespace obrix {

void SessionGuard::EndBoardSession() {
  if (!armed_) return;
  context_.server.LogoutUser();
  context_.server.WildcatServerDeleteContext();
  armed_ = false;
}

void SessionGuard::Disconnect() {
  EndBoardSession();
  context_.log.Line("Disconnected from Wildcat.");
  context_.state.workLock.reset();
}

SessionGuard::~SessionGuard() {
  context_.state.workLock.reset();
  try {
    EndBoardSession();
  } catch (...) {
    // The run is ending already; the board drops a session whose
    // connection closes.
  }
}

}  // namespace obrix
