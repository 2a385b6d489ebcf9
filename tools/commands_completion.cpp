// The words the bash completion offers: `complete`, a command the overview
// leaves out. It prints one candidate a line, in the terminal's character
// set, and nothing else.
#include <iostream>
#include <set>

#include "admin/board_admin.h"
#include "server/packet_settings.h"
#include "tool_commands.h"
#include "tool_text.h"

namespace obrix::tool {

namespace {

using board::BoardAdmin;

void PrintLines(const std::set<std::string>& words) {
  for (const std::string& word : words) std::cout << word << "\n";
}

// The known settings, and with a user the keys he holds as well (kept
// with --force, say).
std::set<std::string> SettingKeys(const Arguments& args, const std::string& path) {
  std::set<std::string> keys;
  for (const PacketSetting& setting : PacketSettings()) keys.insert(setting.key);
  if (args.PositionalCount() > 1) {
    for (const auto& [key, value] : BoardAdmin::Open(path).ListVars(args.Positional(1))) {
      keys.insert(Shown(key));
    }
  }
  return keys;
}

int Complete(const Arguments& args, const std::string& path) {
  const std::string& what = args.Positional(0);
  std::set<std::string> words;
  if (what == "config-keys") {
    for (const std::string& key : board::ConfigKeys()) words.insert(key);
  } else if (what == "settings") {
    words = SettingKeys(args, path);
  } else if (what == "users") {
    for (const board::UserSummary& user : BoardAdmin::Open(path).ListUsers()) {
      words.insert(Shown(user.name));
    }
  } else if (what == "conferences") {
    for (const board::ConferenceSummary& conference : BoardAdmin::Open(path).ListConferences()) {
      words.insert(std::to_string(conference.number));
    }
  } else {
    throw UsageError("complete: users, conferences, config-keys or settings, not " + what);
  }
  PrintLines(words);
  return 0;
}

}  // namespace

void AddCompletionCommands(std::vector<Command>& commands) {
  commands.push_back(
      {{"complete",
        {"WHAT", "USER?"},
        {},
        "Print the words the bash completion offers, one a line (for the completion).",
        "WHAT: users (the board's user names), conferences (their numbers), config-keys\n"
        "or settings (the packet settings; with USER, the keys he holds as well).\n"
        "config-keys and settings without USER need no board. Never asks for a\n"
        "password: a PostgreSQL board opens only with one from the URI, ~/.pgpass or\n"
        "the service file.\n"},
       Complete});
}

}  // namespace obrix::tool
