// The spine of a run: banner, command line, log-in, one operation, log-out.
#pragma once

#include <string>

#include "run/run_context.h"

namespace obrix {

// Exit status of the program.
enum ExitStatus : int {
  kExitOk = 0,               // the operation ran to a true result
  kExitOperationFailed = 1,  // the operation or its initialisation failed
  kExitCommandLine = 2,      // the command line was rejected
  kExitSession = 3,          // no session: connect, context, SYSTEM log-in, user or password
  kExitLog = 4,              // the activity log could not be written
};

// Everything up to and including the user's log-in. True when the user is
// logged in and UserName, Operation, Overwrite and UserId are set.
bool OpenSession(RunContext& context, const std::string& arguments);

// One run: the session, the chosen operation, the log-out. Returns the
// exit status. Raises Failure(kFailureLog) when the log cannot be written
// (after releasing what it opened).
int Main(RunContext& context, const std::string& arguments);

}  // namespace obrix
