// Users and what the board keeps per user: user, var, flags, lastread.
#include <iostream>

#include "admin/board_admin.h"
#include "base/text.h"
#include "tool_commands.h"
#include "tool_output.h"

namespace obrix::tool {

namespace {

using board::BoardAdmin;

std::string Password(const std::string& password) {
  if (password.empty()) throw UsageError("a password must not be empty");
  return password;
}

int UserAdd(const Arguments& args, const std::string& path) {
  const std::string password = Password(*args.Value("--password"));
  BoardAdmin admin = BoardAdmin::Open(path);
  const int32_t id =
      admin.AddUser(args.Positional(0), password, args.Value("--title").value_or(""));
  std::cout << "Added user " << ToUpper(Trim(args.Positional(0))) << " (id " << id << ")\n";
  return 0;
}

int UserPasswd(const Arguments& args, const std::string& path) {
  const std::string password = Password(args.Positional(1));
  BoardAdmin::Open(path).SetPassword(args.Positional(0), password);
  return 0;
}

int UserList(const Arguments&, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  Table table({"id", "name", "title", "log-in", "new files since"});
  for (const board::UserSummary& user : admin.ListUsers()) {
    table.Add({Decimal(user.id), user.name, user.title, user.canLogIn ? "yes" : "no",
               FormatDate(user.newFilesDate)});
  }
  table.Print(std::cout);
  return 0;
}

int UserNewFiles(const Arguments& args, const std::string& path) {
  const FILETIME date = ToDate(args.Positional(1), "the new-files date");
  BoardAdmin::Open(path).SetNewFilesDate(args.Positional(0), date);
  return 0;
}

int VarGet(const Arguments& args, const std::string& path) {
  const auto value = BoardAdmin::Open(path).GetVar(args.Positional(0), args.Positional(1));
  std::cout << value.value_or("") << "\n";
  return 0;
}

int VarSet(const Arguments& args, const std::string& path) {
  BoardAdmin::Open(path).SetVar(args.Positional(0), args.Positional(1), args.Positional(2));
  return 0;
}

int FlagsGet(const Arguments& args, const std::string& path) {
  const int32_t conference = ToInt32(args.Positional(1), "CONF");
  std::cout << BoardAdmin::Open(path).GetFlags(args.Positional(0), conference) << "\n";
  return 0;
}

int FlagsSet(const Arguments& args, const std::string& path) {
  const int32_t conference = ToInt32(args.Positional(1), "CONF");
  const uint32_t flags = ToFlags(args.Positional(2), "VALUE");
  BoardAdmin::Open(path).SetFlags(args.Positional(0), conference, flags);
  return 0;
}

int LastReadGet(const Arguments& args, const std::string& path) {
  const int32_t conference = ToInt32(args.Positional(1), "CONF");
  std::cout << BoardAdmin::Open(path).GetLastRead(args.Positional(0), conference) << "\n";
  return 0;
}

int LastReadSet(const Arguments& args, const std::string& path) {
  const int32_t conference = ToInt32(args.Positional(1), "CONF");
  const int32_t id = ToInt32(args.Positional(2), "ID");
  BoardAdmin::Open(path).SetLastRead(args.Positional(0), conference, id);
  return 0;
}

// "1 pointer", "3 pointers".
std::string Count(int32_t n, const std::string& thing) {
  return Decimal(n) + " " + thing + (n == 1 ? "" : "s");
}

// Puts back what the user's last download moved, for a packet he never
// received.
int LastReadUndo(const Arguments& args, const std::string& path) {
  const std::string user = ToUpper(Trim(args.Positional(0)));
  const auto undone = BoardAdmin::Open(path).UndoLastDownload(user);
  if (!undone) {
    std::cerr << "obrix-board: " << user << " has no download to undo\n";
    return 1;
  }
  std::cout << "Undid the download of " << user << " made "
            << FormatDate(FILETIME::FromTicks(undone->madeTime))
            << (undone->finished ? "" : " (its run did not end)") << ": "
            << Count(undone->pointers, "pointer") << ", " << Count(undone->readMarks, "read mark")
            << " and " << Count(undone->receipts, "receipt") << " put back\n";
  return 0;
}

// user add, passwd, list, newfiles.
void AddAccountCommands(std::vector<Command>& commands) {
  commands.push_back(
      {{"user add",
        {"NAME"},
        {{"--password", "PW", true}, {"--title", "TEXT"}},
        "Add a user (the name is kept in upper case).",
        "Names are found in any letter case. The password is kept only as a salted,\n"
        "slow hash of its upper-case form. Titles have 12 characters at most.\n"
        "Example: obrix-board user add \"Jane Doe\" --password letmein --title Member\n"},
       UserAdd});
  commands.push_back(
      {{"user passwd", {"NAME", "PW"}, {}, "Give a user a new password.", ""}, UserPasswd});
  commands.push_back({{"user list", {}, {}, "List the users.", ""}, UserList});
  commands.push_back({{"user newfiles",
                       {"NAME", "DATE"},
                       {},
                       "Set the date from which a user's new-files list counts.",
                       "DATE is \"YYYY-MM-DD HH:MM\" in local time.\n"
                       "Example: obrix-board user newfiles \"JANE DOE\" \"2026-03-01 00:00\"\n"},
                      UserNewFiles});
}

// var, flags, lastread: what the door reads of a user.
void AddSettingCommands(std::vector<Command>& commands) {
  commands.push_back(
      {{"var get",
        {"USER", "KEY"},
        {},
        "Print a user variable of the \"profile\" section (an empty line when unset).",
        "DEFAULT is the account of the board-wide defaults.\n"
        "Example: obrix-board var get DEFAULT MaxMsgPerPacket\n"},
       VarGet});
  commands.push_back({{"var set",
                       {"USER", "KEY", "VALUE"},
                       {},
                       "Set a user variable of the \"profile\" section.",
                       "The value is stored exactly as given.\n"
                       "Example: obrix-board var set DEFAULT IncludeNewFiles 1\n"},
                      VarSet});
  commands.push_back(
      {{"flags get",
        {"USER", "CONF"},
        {},
        "Print a user's flags on a conference (the conference's default when unset).",
        "The low four bits select the conference: 3 added, 1 the user's own mail only,\n"
        "0 dropped.\n"},
       FlagsGet});
  commands.push_back({{"flags set",
                       {"USER", "CONF", "VALUE"},
                       {},
                       "Set a user's flags on a conference (decimal or 0x hex).",
                       "Example: obrix-board flags set \"JANE DOE\" 4 1\n"},
                      FlagsSet});
  commands.push_back({{"lastread get",
                       {"USER", "CONF"},
                       {},
                       "Print a user's last-read message id in a conference (0 when unset).",
                       ""},
                      LastReadGet});
  commands.push_back({{"lastread set",
                       {"USER", "CONF", "ID"},
                       {},
                       "Set a user's last-read message id in a conference.",
                       ""},
                      LastReadSet});
  commands.push_back({{"lastread undo",
                       {"USER"},
                       {},
                       "Undo a user's last download: his pointers and read marks as before it.",
                       "For a packet the caller never received (docs/obrix-board.md).\n"},
                      LastReadUndo});
}

}  // namespace

void AddUserCommands(std::vector<Command>& commands) {
  AddAccountCommands(commands);
  AddSettingCommands(commands);
}

}  // namespace obrix::tool
