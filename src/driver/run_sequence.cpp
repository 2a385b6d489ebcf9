#include "driver/run_sequence.h"

#include <cstdio>
#include <exception>
#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "base/version.h"
#include "download/qwk_download.h"
#include "driver/command_line.h"
#include "driver/work_directory.h"
#include "upload/qwk_upload.h"

namespace obrix {

namespace {

constexpr const char* kApplicationName = "Obrix";

// What the command line asks for; a value it lacks is empty.
struct CommandLine {
  std::string userName;
  std::string password;
  std::string operation;
  bool overwrite = false;
  std::vector<std::string> notUnderstood;
};

CommandLine ReadCommandLine(const std::string& arguments) {
  return {ParseUserName(arguments), ParsePassword(arguments), ParseOperation(arguments),
          ParseOverwrite(arguments), NotUnderstood(arguments)};
}

// What "obrix --help" prints.
constexpr const char* kUsage =
    "Usage: obrix /U NAME /P PASSWORD /DOWNLOAD\n"
    "       obrix /U NAME /P PASSWORD /UPLOAD\n"
    "       obrix --version | --help\n"
    "\n"
    "The QWK offline-mail door, run by the BBS once per job for one caller:\n"
    "/DOWNLOAD builds his QWK packet of new mail in the work directory, /UPLOAD\n"
    "posts the replies of his REP packet. Every step goes to obrix.log in the\n"
    "current folder; the exit status says how the run ended (see obrix(1)).\n"
    "\n"
    "Switches in any letter case; the name may hold blanks, the password is one\n"
    "word. /OVERWRITE is accepted and ignored; anything else is an error.\n"
    "\n"
    "Environment:\n"
    "  OBRIX_BOARD      the board: a board file's path, or a PostgreSQL database\n"
    "                   (postgresql://... or service=NAME)\n"
    "  OBRIX_WORK       the node's work directory, an absolute path\n"
    "  OBRIX_CHARSET    the character set of the name and password (default:\n"
    "                   the locale's; the C locale passes Windows-1252 bytes)\n"
    "  OBRIX_LOCK_WAIT  seconds to wait for another run in the same work\n"
    "                   directory (default 30)\n";

std::string NoticeLine() { return std::string(version::kLegalNotice) + " " + version::kCompany; }

void WriteBanner(ActivityLog& log) {
  log.Line(std::string(50, '-'));
  log.Line(version::kVersionLine);
  log.Line(NoticeLine());
}

// True when the command line names a user, a password and an operation,
// and holds nothing else; else logs every value it lacks and whatever it
// holds that no switch takes.
bool CheckCommandLine(ActivityLog& log, const CommandLine& line) {
  if (!line.userName.empty() && !line.password.empty() && !line.operation.empty() &&
      line.notUnderstood.empty()) {
    return true;
  }
  log.Line("ERROR - Command line syntax error");
  if (line.userName.empty()) log.Line("/U - Parameter not specified for USER NAME.");
  if (line.password.empty()) log.Line("/P - Parameter not specified for PASSWORD.");
  if (line.operation.empty()) log.Line("/DOWNLOAD or /UPLOAD not specified for operation type.");
  for (const std::string& extra : line.notUnderstood) log.Line("Not understood: " + LogSafe(extra));
  log.Line("Exiting program.");
  return false;
}

void KeepCommandLine(RunState& state, const CommandLine& line) {
  state.UserName = line.userName;
  state.Operation = line.operation;
  state.Overwrite = line.overwrite;
}

// Connects to the board and creates the server context, arming `session`
// once connected. False (logged) when either fails.
bool Connect(RunContext& context, SessionGuard& session) {
  context.log.Line("Connecting to Wildcat...");
  if (!context.server.vbWildcatServerConnect(nullptr)) {
    const std::string reason = context.server.ConnectFailure();
    if (!reason.empty()) context.log.Line(LogSafe(ToUpper(reason.substr(0, 1)) + reason.substr(1)));
    context.log.Line("Unable to Connect to Wildcat");
    return false;
  }
  session.Arm();
  if (!context.server.WildcatServerCreateContext()) {
    context.log.Line("Unable to create Wildcat Context");
    return false;
  }
  return true;
}

// Logs in as SYSTEM and finds the user named on the command line, whose
// name `name` then holds as the board spells it. False (logged) when either
// fails.
bool FindUser(RunContext& context, std::string& name, UserRecord& user) {
  if (!context.server.LoginSystem()) {
    context.log.Line("Unable to login as SYSTEM and get user Record");
    return false;
  }
  int32_t position = 0;
  if (!context.server.vbGetUserByName(name, user, position)) {
    context.log.Line("User Record not found.");
    return false;
  }
  return true;
}

// Ends SYSTEM's log-in and logs the user in with `password` (upper-cased).
// False (logged) when the board refuses him.
bool LogInUser(RunContext& context, const std::string& name, const UserRecord& user,
               const std::string& password) {
  context.server.LogoutUser();
  UserRecord loggedIn;
  if (!context.server.vbLoginUserEx(user.info.id, ToUpper(password), 1, kApplicationName,
                                    loggedIn)) {
    context.log.Line("Unable to LOGIN as " + name);
    return false;
  }
  context.log.Line("Logged in as " + name);
  context.state.UserId = user.info.id;
  return true;
}

// Everything up to the user's log-in; returns kExitOk when the user is
// logged in, else the exit status of the failure (already logged).
int Login(RunContext& context, SessionGuard& session, const std::string& arguments) {
  WriteBanner(context.log);
  std::string problem;
  const std::optional<std::string> text =
      ArgumentsToBoard(arguments, context.state.argumentCharset, problem);
  if (!text) {
    context.log.Line("ERROR - Command line syntax error");
    context.log.Line("Not understood: " + LogSafe(problem) + " (OBRIX_CHARSET names the set)");
    context.log.Line("Exiting program.");
    return kExitCommandLine;
  }
  const CommandLine line = ReadCommandLine(*text);
  if (!CheckCommandLine(context.log, line)) return kExitCommandLine;
  KeepCommandLine(context.state, line);
  if (!Connect(context, session)) return kExitSession;
  std::string name = line.userName;
  UserRecord user;
  if (!FindUser(context, name, user) || !LogInUser(context, name, user, line.password)) {
    session.Disconnect();
    return kExitSession;
  }
  return kExitOk;
}

// Login, with a failure of the board (rather than a refusal) logged as
// such and ending the session.
int LoginReportingServerFailure(RunContext& context, SessionGuard& session,
                                const std::string& arguments) {
  try {
    return Login(context, session, arguments);
  } catch (const Failure& failure) {
    context.log.Line("Server failure # " + std::to_string(failure.number()) + ": " +
                     failure.description());
    session.Disconnect();
    return kExitSession;
  }
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

// Main, with any exception but the log's failure logged as the run's last
// line ("Unexpected failure: " and its description).
int MainReportingTheUnexpected(RunContext& context, const std::string& arguments) {
  try {
    return Main(context, arguments);
  } catch (const LogFailure&) {
    throw;  // nothing more can be logged
  } catch (const std::exception& error) {
    context.log.Line(std::string("Unexpected failure: ") + error.what());
  } catch (...) {
    context.log.Line("Unexpected failure: an exception of unknown type");
  }
  return kExitOperationFailed;
}

}  // namespace

int Main(RunContext& context, const std::string& arguments) {
  // A failure mended where it was met (a board connection made again) is
  // noted in the run's log, whatever step met it; the download adds its own
  // while it writes its scan's lines.
  const RecoveryNotes notes([&](const std::string& line) { context.log.Line(line); });
  SessionGuard session(context);
  const int opened = LoginReportingServerFailure(context, session, arguments);
  if (opened != kExitOk) return opened;
  const bool done = RunOperation(context);
  session.Disconnect();
  if (!done) return kExitOperationFailed;
  return context.state.keptReplyPackets.empty() ? kExitOk : kExitRepliesKept;
}

int RunMain(RunContext& context, const std::string& arguments) {
  if (AsksForVersion(arguments)) {
    std::printf("%s\n", version::kVersionLine);
    return kExitOk;
  }
  if (AsksForHelp(arguments)) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  try {
    return MainReportingTheUnexpected(context, arguments);
  } catch (const LogFailure& failure) {
    std::fprintf(stderr, "obrix: %s\n", failure.description().c_str());
    return kExitLog;
  }
}

}  // namespace obrix
