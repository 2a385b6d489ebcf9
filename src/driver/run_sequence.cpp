#include "driver/run_sequence.h"

#include <string>

#include "base/failure.h"
#include "base/version.h"
#include "download/qwk_download.h"
#include "driver/command_line.h"
#include "driver/work_directory.h"
#include "upload/qwk_upload.h"

namespace obrix {

namespace {

constexpr const char* kApplicationName = "Obrix";

std::string VersionLine() {
  return "Obrix version " + std::to_string(version::kMajor) + "." +
         std::to_string(version::kMinor) + "." + std::to_string(version::kRevision) +
         version::kComments;
}

std::string NoticeLine() { return std::string(version::kLegalNotice) + " " + version::kCompany; }

// Everything up to the user's log-in; returns kExitOk when the user is
// logged in, else the exit status of the failure (already logged).
int Login(RunContext& context, const std::string& arguments) {
  ActivityLog& log = context.log;
  Server& server = context.server;
  RunState& state = context.state;

  log.Line(std::string(50, '-'));
  log.Line(VersionLine());
  log.Line(NoticeLine());

  const std::string userName = ParseUserName(arguments);
  const std::string password = ParsePassword(arguments);
  const std::string operation = ParseOperation(arguments);
  const bool overwrite = ParseOverwrite(arguments);

  if (userName.empty() || password.empty() || operation.empty()) {
    log.Line("ERROR - Command line syntax error");
    if (userName.empty()) log.Line("/U - Parameter not specified for USER NAME.");
    if (password.empty()) log.Line("/P - Parameter not specified for PASSWORD.");
    if (operation.empty()) log.Line("/DOWNLOAD or /UPLOAD not specified for operation type.");
    log.Line("Exiting program.");
    return kExitCommandLine;
  }

  state.UserName = userName;
  state.Operation = operation;
  state.Overwrite = overwrite;

  log.Line("Connecting to Wildcat...");
  if (!server.vbWildcatServerConnect(nullptr)) {
    log.Line("Unable to Connect to Wildcat");
    return kExitSession;
  }
  if (!server.WildcatServerCreateContext()) {
    log.Line("Unable to create Wildcat Context");
    server.WildcatServerDeleteContext();
    return kExitSession;
  }

  auto failureTail = [&] {
    server.LogoutUser();
    server.WildcatServerDeleteContext();
    log.Line("Disconnected from Wildcat.");
    return kExitSession;
  };

  if (!server.LoginSystem()) {
    log.Line("Unable to login as SYSTEM and get user Record");
    return failureTail();
  }
  std::string name = userName;
  UserRecord found;
  int32_t position = 0;
  if (!server.vbGetUserByName(name, found, position)) {
    log.Line("User Record not found.");
    return failureTail();
  }
  server.LogoutUser();
  UserRecord loggedIn;
  if (server.vbLoginUserEx(found.info.id, ToUpper(password), 1, kApplicationName, loggedIn)) {
    log.Line("Logged in as " + name);
    state.UserId = found.info.id;
    return kExitOk;
  }
  log.Line("Unable to LOGIN as " + name);
  return failureTail();
}

// Runs the operation chosen on the command line; true when it succeeded.
bool RunOperation(RunContext& context) {
  ActivityLog& log = context.log;
  const std::string& operation = context.state.Operation;
  if (operation == "DOWNLOAD") {
    if (!InitDownload(context)) {
      log.Line("Download Initialization Failed");
      return false;
    }
    const bool done = QwkDownload(context);
    log.Line(done ? "Download complete." : "Download failed.");
    return done;
  }
  if (operation == "UPLOAD") {
    if (!InitUpload(context)) {
      log.Line("Upload Initialization Failed");
      return false;
    }
    const bool done = QwkUpload(context);
    log.Line(done ? "Upload complete." : "Upload failed.");
    return done;
  }
  return false;
}

}  // namespace

bool OpenSession(RunContext& context, const std::string& arguments) {
  return Login(context, arguments) == kExitOk;
}

int Main(RunContext& context, const std::string& arguments) {
  int session = kExitSession;
  try {
    session = Login(context, arguments);
  } catch (const Failure& failure) {
    // The board failed (rather than refused) while the session was being
    // opened: say so, close what was opened, and end the run.
    if (failure.number() == kFailureLog) throw;
    context.log.Line("Server failure # " + std::to_string(failure.number()) + ": " +
                     failure.description());
    context.server.LogoutUser();
    context.server.WildcatServerDeleteContext();
    context.log.Line("Disconnected from Wildcat.");
    return kExitSession;
  }
  if (session != kExitOk) return session;
  bool done = false;
  try {
    done = RunOperation(context);
    context.log.Line("Disconnected from Wildcat.");
  } catch (...) {
    // The log could not be written (or a failure escaped an operation):
    // close the session before the failure ends the run.
    context.state.workLock.reset();
    context.server.LogoutUser();
    context.server.WildcatServerDeleteContext();
    throw;
  }
  context.server.LogoutUser();
  context.server.WildcatServerDeleteContext();
  context.state.workLock.reset();
  return done ? kExitOk : kExitOperationFailed;
}

}  // namespace obrix
