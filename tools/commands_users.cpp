// Users and what the board keeps per user: user, var, flags, lastread.
#include <iostream>

#include "admin/board_admin.h"
#include "base/text.h"
#include "qwk/packet_charset.h"
#include "server/packet_settings.h"
#include "tool_commands.h"
#include "tool_output.h"
#include "tool_text.h"

namespace obrix::tool {

namespace {

using board::BoardAdmin;

std::string Password(const std::string& password) {
  if (password.empty()) throw UsageError("a password must not be empty");
  return password;
}

// Warns on standard error when the packets of the board cannot carry the
// user's name exactly: a letter that their character set lacks reaches
// the caller's reader as '?' (replies to that spelling still find him).
void WarnWhenPacketsMisspell(BoardAdmin& admin, const std::string& name) {
  PacketCharset charset = PacketCharset::ForSetting(admin.GetConfig("charset"));
  if (!charset.Converts()) return;
  const std::string key = ToUpper(Trim(name));
  const std::string spelled = charset.ToBoard(charset.ToPacket(key));
  if (spelled == key) return;
  std::cerr << "obrix-board: warning: packets cannot carry the name " << Shown(key)
            << " exactly; readers see " << Shown(spelled) << "\n";
}

int UserAdd(const Arguments& args, const std::string& path) {
  const std::string password = Password(*args.Value("--password"));
  BoardAdmin admin = BoardAdmin::Open(path);
  const int32_t id =
      admin.AddUser(args.Positional(0), password, args.Value("--title").value_or(""));
  std::cout << "Added user " << Shown(ToUpper(Trim(args.Positional(0)))) << " (id " << id << ")\n";
  WarnWhenPacketsMisspell(admin, args.Positional(0));
  return 0;
}

int UserPasswd(const Arguments& args, const std::string& path) {
  const std::string password = Password(args.Positional(1));
  BoardAdmin::Open(path).SetPassword(args.Positional(0), password);
  return 0;
}

int UserList(const Arguments& args, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  Listing listing({{"id", "id"},
                   {"name", "name"},
                   {"title", "title"},
                   {"log-in", "can_log_in"},
                   {"new files since", "new_files_since"}});
  for (const board::UserSummary& user : admin.ListUsers()) {
    listing.Add({Cell::Number(user.id), Cell::Text(user.name), Cell::Text(user.title),
                 Cell::Flag(user.canLogIn).Showing(user.canLogIn ? "yes" : "no"),
                 Cell::Date(user.newFilesDate)});
  }
  PrintListing(listing, FormatOf(args), std::cout);
  return 0;
}

int UserNewFiles(const Arguments& args, const std::string& path) {
  const FILETIME date = ToDate(args.Positional(1), "the new-files date");
  BoardAdmin::Open(path).SetNewFilesDate(args.Positional(0), date);
  return 0;
}

int UserDelete(const Arguments& args, const std::string& path) {
  BoardAdmin::Open(path).DeleteUser(args.Positional(0));
  std::cout << "Deleted user " << Shown(ToUpper(Trim(args.Positional(0)))) << "\n";
  return 0;
}

int UserRename(const Arguments& args, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  admin.RenameUser(args.Positional(0), args.Positional(1));
  std::cout << "Renamed " << Shown(ToUpper(Trim(args.Positional(0)))) << " to "
            << Shown(ToUpper(Trim(args.Positional(1)))) << "\n";
  WarnWhenPacketsMisspell(admin, args.Positional(1));
  return 0;
}

int UserSet(const Arguments& args, const std::string& path) {
  const auto title = args.Value("--title");
  if (!title) throw UsageError("user set: nothing to set (give --title)");
  BoardAdmin::Open(path).SetTitle(args.Positional(0), *title);
  return 0;
}

int VarGet(const Arguments& args, const std::string& path) {
  const auto value = BoardAdmin::Open(path).GetVar(args.Positional(0), args.Positional(1));
  std::cout << Shown(value.value_or("")) << "\n";
  return 0;
}

// DEFAULT's value reaches only the users who have none of their own yet (a
// user's first download writes every missing value into his profile): the
// sysop is told how many keep theirs, and how to give it to everybody.
int VarSet(const Arguments& args, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  const std::string& key = args.Positional(1);
  admin.SetSetting(args.Positional(0), key, args.Positional(2), args.Flag("--force"));
  if (ToUpper(Trim(args.Positional(0))) != kDefaultAccount) return 0;
  const int32_t keeping = admin.CountOwnValues(key);
  if (keeping == 0) {
    std::cout << "No user has a value of his own of " << Shown(key)
              << "; each gets DEFAULT's at his next download\n";
    return 0;
  }
  std::cout << keeping << (keeping == 1 ? " user keeps his" : " users keep their")
            << " own value of " << Shown(key)
            << "; 'obrix-board var apply-defaults' gives every user all of DEFAULT's settings\n";
  return 0;
}

// The settings the door reads that hold whole numbers: a JSON number in a
// listing. A key stored with --force holds whatever was given.
bool HoldsNumber(const std::string& key) {
  const PacketSetting* setting = FindPacketSetting(key);
  return setting != nullptr && setting->words.empty();
}

// `text` followed by blanks to `width` characters.
std::string Column(const std::string& text, size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 1, ' ');
}

// The help of 'var set': the settings the door reads, by the table the
// tool checks them against.
std::string VarSetDetails() {
  std::string out =
      "The settings the door reads take these values (see obrix-board(1)); the last\n"
      "column is what a user gets when neither he nor DEFAULT has a value:\n";
  for (const PacketSetting& setting : PacketSettings()) {
    out += "  " + Column(setting.key, 23) + Column(AllowedValues(setting), 19) +
           setting.fallback.value_or("none") + "\n";
  }
  out +=
      "Keys are spelt exactly so; words are taken in any letter case and stored in\n"
      "lower case. Any other key is refused unless --force.\n";
  out += "MaxMsgPerPacket 0 means " + Decimal(kPacketLimitForZero) +
         " messages, MaxMsgPerConf 0 means " + Decimal(kConferenceLimitForZero) + ".\n";
  out +=
      "DEFAULT's values reach only the users who have no value of their own yet\n"
      "(a user's first download gives him every value he lacks); setting one of\n"
      "DEFAULT's says how many users keep theirs. 'obrix-board var apply-defaults'\n"
      "gives DEFAULT's settings to every user.\n"
      "Example: obrix-board var set DEFAULT IncludeNewFiles 1\n";
  return out;
}

int VarList(const Arguments& args, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  Listing listing({{"key", "key"}, {"value", "value"}});
  for (const auto& [key, value] : admin.ListVars(args.Positional(0))) {
    listing.Add({Cell::Text(key), Cell::Setting(value, HoldsNumber(key))});
  }
  PrintListing(listing, FormatOf(args), std::cout, "No settings.");
  return 0;
}

int VarUnset(const Arguments& args, const std::string& path) {
  BoardAdmin::Open(path).UnsetVar(args.Positional(0), args.Positional(1));
  return 0;
}

int VarApplyDefaults(const Arguments& args, const std::string& path) {
  const int32_t users = BoardAdmin::Open(path).ApplyDefaults(args.PositionalsFrom(0));
  std::cout << "Copied DEFAULT's settings to " << users << (users == 1 ? " user" : " users")
            << "\n";
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
    std::cerr << "obrix-board: " << Shown(user) << " has no download to undo\n";
    return 1;
  }
  std::cout << "Undid the download of " << Shown(user) << " made "
            << FormatDate(FILETIME::FromTicks(undone->madeTime))
            << (undone->finished ? "" : " (its run did not end)") << ": "
            << Count(undone->pointers, "pointer") << ", " << Count(undone->readMarks, "read mark")
            << " and " << Count(undone->receipts, "receipt") << " put back\n";
  return 0;
}

// user add, passwd, list, newfiles, delete, rename, set.
void AddAccountCommands(std::vector<Command>& commands) {  // NOLINT(readability-function-size)
  commands.push_back(
      {{"user add",
        {"NAME"},
        {{"--password", "PW", true}, {"--title", "TEXT"}},
        "Add a user (the name is kept in upper case).",
        "Names have 1 to 25 characters (the width of a QWK header's names), no '/'\n"
        "(the door's command line ends the name there) and no control characters,\n"
        "and are found in any letter case; ALL and the control names QMAIL, RIZIVI\n"
        "and TOMCAT are refused. On a cp437 board a name with a letter code page 437\n"
        "lacks is warned about: packets show '?' for it. The password is one word\n"
        "(no blanks), kept only as a salted, slow hash of its upper-case form.\n"
        "Titles have 12 characters at most.\n"
        "Example: obrix-board user add \"Jane Doe\" --password letmein --title Member\n"},
       UserAdd});
  commands.push_back(
      {{"user passwd", {"NAME", "PW"}, {}, "Give a user a new password (one word).", ""},
       UserPasswd});
  commands.push_back({{"user list",
                       {},
                       Listed({}),
                       "List the users.",
                       "Columns (--tsv/--json name): id, name, title, log-in (can_log_in),\n"
                       "new files since (new_files_since).\n"},
                      UserList});
  commands.push_back({{"user newfiles",
                       {"NAME", "DATE"},
                       {},
                       "Set the date from which a user's new-files list counts.",
                       "DATE is \"YYYY-MM-DD HH:MM\" in local time.\n"
                       "Example: obrix-board user newfiles \"JANE DOE\" \"2026-03-01 00:00\"\n"},
                      UserNewFiles});
  commands.push_back({{"user delete",
                       {"NAME"},
                       {},
                       "Delete a user: his pointers, flags and settings go.",
                       "His messages stay, with his name, no longer tied to an account: a\n"
                       "private message of his is then seen by the other party only.\n"},
                      UserDelete});
  commands.push_back({{"user rename",
                       {"OLD", "NEW"},
                       {},
                       "Rename a user; his messages follow the new name.",
                       "The new name follows the rules of 'user add'.\n"},
                      UserRename});
  commands.push_back(
      {{"user set", {"NAME"}, {{"--title", "TEXT"}}, "Change a user's title.", ""}, UserSet});
}

// var: the packet settings the door reads.
void AddVariableCommands(std::vector<Command>& commands) {  // NOLINT(readability-function-size)
  commands.push_back(
      {{"var get",
        {"USER", "KEY"},
        {},
        "Print a user variable of the \"profile\" section (an empty line when unset).",
        "DEFAULT is the account of the board-wide defaults.\n"
        "Example: obrix-board var get DEFAULT MaxMsgPerPacket\n"},
       VarGet});
  commands.push_back(
      {{"var set",
        {"USER", "KEY", "VALUE"},
        {{"--force", ""}},
        "Set a user's setting; DEFAULT's reaches only users without one (all: var apply-defaults).",
        VarSetDetails()},
       VarSet});
  commands.push_back(
      {{"var list",
        {"USER"},
        Listed({}),
        "List a user's settings.",
        "Columns: key, value (a JSON number for the door's settings that are numbers).\n"},
       VarList});
  commands.push_back(
      {{"var unset", {"USER", "KEY"}, {}, "Remove a user's setting.", ""}, VarUnset});
  commands.push_back({{"var apply-defaults",
                       {"USER...?"},
                       {},
                       "Give DEFAULT's settings to the users named (every user when none is).",
                       "Replaces their own values of the settings DEFAULT holds: after 'var set\n"
                       "DEFAULT KEY VALUE', 'var apply-defaults' gives that value to everybody.\n"},
                      VarApplyDefaults});
}

// flags, lastread: what the door reads of a user per conference.
void AddConferenceSettingCommands(std::vector<Command>& commands) {
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
                       "For a packet the caller never received (see obrix-board(1)).\n"},
                      LastReadUndo});
}

}  // namespace

void AddUserCommands(std::vector<Command>& commands) {
  AddAccountCommands(commands);
  AddVariableCommands(commands);
  AddConferenceSettingCommands(commands);
}

}  // namespace obrix::tool
