// The spine of a run: banner, command line, log-in, one operation, log-out.
#pragma once

#include <string>

#include "driver/session_guard.h"
#include "run/run_context.h"

namespace obrix {

// Exit status of the program.
enum ExitStatus : int {
  kExitOk = 0,               // the operation ran to a true result
  kExitOperationFailed = 1,  // the operation or its initialisation failed; any unexpected failure
  kExitCommandLine = 2,      // the command line was rejected
  kExitSession = 3,          // no session: connect, context, SYSTEM log-in, user or password
  kExitLog = 4,              // the activity log could not be written
  kExitRepliesKept = 5,      // the upload ran to its end, but replies were refused and
                             // the REP packet was kept
};

// One run: the session, the chosen operation, the log-out. Returns the
// exit status. A failure of the board while the session opens is logged
// and gives kExitSession; any exception that escapes the operation
// (LogFailure when the log cannot be written) passes, the session closed.
int Main(RunContext& context, const std::string& arguments);

// Main under the program's last handlers. LogFailure gives one line on
// standard error and kExitLog; any other exception the log line
// "Unexpected failure: " + its description and kExitOperationFailed. A
// command line of "--version" alone prints the version line on standard
// output and returns kExitOk, logging nothing.
int RunMain(RunContext& context, const std::string& arguments);

}  // namespace obrix
