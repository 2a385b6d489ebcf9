// The end of a run's board session, the same on every path.
//
// A run makes one guard before it connects and arms it once the board is
// connected. From then on the guard ends the session: the log-in (the
// user's, or SYSTEM's while the user is being found) ends, the server
// context is deleted and the work directory's lock is released.
// Disconnect() does so with the log line "Disconnected from Wildcat.". A
// session still open when the guard goes (a failure is unwinding the run,
// or the session never fully opened) ends without a word, and the board's
// own failures on the way are ignored: nothing could report them.
#pragma once

#include "run/run_context.h"

namespace obrix {

class SessionGuard {
 public:
  explicit SessionGuard(RunContext& context) : context_(context) {}
  ~SessionGuard();
  SessionGuard(const SessionGuard&) = delete;
  SessionGuard& operator=(const SessionGuard&) = delete;

  // The board is connected: the guard ends the session from now on.
  void Arm() { armed_ = true; }

  // Ends the session (when armed), logs "Disconnected from Wildcat." and
  // then releases the work directory's lock, so that a run waiting for the
  // directory starts its work after this line. The line is written even
  // when the board was never reached, as after a failure of the board
  // while connecting.
  void Disconnect();

 private:
  // Logs out and deletes the server context, once.
  void EndBoardSession();

  RunContext& context_;
  bool armed_ = false;
};

}  // namespace obrix
