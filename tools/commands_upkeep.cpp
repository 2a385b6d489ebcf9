// Looking after a running board: who, stats, backup, restore, copy.
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "admin/board_admin.h"
#include "base/text.h"
#include "tool_commands.h"
#include "tool_output.h"
#include "tool_text.h"

namespace obrix::tool {

namespace {

using board::BoardAdmin;

int Who(const Arguments& args, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  Listing listing({{"user", "user"},
                   {"since", "since"},
                   {"activity", "activity"},
                   {"last download", "last_download"},
                   {"last upload", "last_upload"}});
  for (const board::NodeActivity& node : admin.Who()) {
    listing.Add({Cell::Text(node.user), Cell::Date(node.time), Cell::Text(node.text),
                 Cell::Date(node.lastDownload), Cell::Date(node.lastUpload)});
  }
  PrintListing(listing, FormatOf(args), std::cout, "No node activity recorded.");
  return 0;
}

// The share of `part` in `whole`, in per cent.
double Percent(int64_t part, int64_t whole) {
  return whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

Listing ConferenceListing(const board::BoardStats& stats) {
  Listing listing({{"number", "number"},
                   {"name", "name"},
                   {"messages", "messages"},
                   {"private", "private"},
                   {"newest", "newest"}});
  for (const board::ConferenceStats& c : stats.conferences) {
    listing.Add({Cell::Number(c.number), Cell::Text(c.name), Cell::Number(c.messages),
                 Cell::Number(c.privateMessages), Cell::Date(c.newest)});
  }
  return listing;
}

Listing ActivityListing(const board::BoardStats& stats) {
  Listing listing(
      {{"user", "user"}, {"last download", "last_download"}, {"last upload", "last_upload"}});
  for (const board::UserActivity& user : stats.activity) {
    listing.Add(
        {Cell::Text(user.user), Cell::Date(user.lastDownload), Cell::Date(user.lastUpload)});
  }
  return listing;
}

Listing TotalsListing(const board::BoardStats& stats) {
  Listing listing({{"key", "key"}, {"value", "value"}});
  for (const auto& [key, value] :
       {std::pair{"users", stats.users},
        std::pair{"conferences", int64_t(stats.conferences.size())},
        std::pair{"messages", stats.messages}, std::pair{"private_messages", stats.privateMessages},
        std::pair{"board_bytes", stats.bytes}}) {
    listing.Add({Cell::Text(key), Cell::Number(value)});
  }
  listing.Add(
      {Cell::Text("private_percent"), Cell::Real(Percent(stats.privateMessages, stats.messages))});
  return listing;
}

void PrintStatsJson(const board::BoardStats& stats) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["users"] = stats.users;
  out["messages"] = stats.messages;
  out["private_messages"] = stats.privateMessages;
  out["private_percent"] = Percent(stats.privateMessages, stats.messages);
  out["board_bytes"] = stats.bytes;
  out["conferences"] = ConferenceListing(stats).ToJson();
  out["users_activity"] = ActivityListing(stats).ToJson();
  PrintJson(out, std::cout);
}

void PrintStatsTable(const board::BoardStats& stats) {
  char share[32];
  std::snprintf(share, sizeof share, "%.1f", Percent(stats.privateMessages, stats.messages));
  std::cout << "Users:        " << stats.users << "\n"
            << "Conferences:  " << stats.conferences.size() << "\n"
            << "Messages:     " << stats.messages << " (" << stats.privateMessages << " private, "
            << share << " %)\n"
            << "Board size:   " << stats.bytes << " bytes\n\n";
  ConferenceListing(stats).PrintTable(std::cout);
  std::cout << "\n";
  ActivityListing(stats).PrintTable(std::cout);
}

int Stats(const Arguments& args, const std::string& path) {
  const board::BoardStats stats = BoardAdmin::Open(path).Stats();
  switch (FormatOf(args)) {
    case OutputFormat::kJson:
      PrintStatsJson(stats);
      break;
    case OutputFormat::kTsv:
      TotalsListing(stats).PrintTsv(std::cout);
      std::cout << "\n";
      ConferenceListing(stats).PrintTsv(std::cout);
      std::cout << "\n";
      ActivityListing(stats).PrintTsv(std::cout);
      break;
    case OutputFormat::kTable:
      PrintStatsTable(stats);
      break;
  }
  return 0;
}

int Backup(const Arguments& args, const std::string& path) {
  BoardAdmin::Open(path).Backup(args.Positional(0));
  std::cout << "Copied the board " << board::DescribeBoardName(path) << " to " << args.Positional(0)
            << "\n";
  return 0;
}

int Restore(const Arguments& args, const std::string& path) {
  const std::optional<std::string> kept = BoardAdmin::Restore(args.Positional(0), path);
  std::cout << "Restored the board " << board::DescribeBoardName(path) << " from "
            << args.Positional(0);
  if (kept) std::cout << "; the board it replaced is kept as " << *kept;
  std::cout << "\n";
  return 0;
}

// Needs no --board: both boards are named on its command line.
int Copy(const Arguments& args, const std::string&) {
  const std::string from = *args.Value("--from");
  const std::string to = *args.Value("--to");
  const board::CopyReport copied = BoardAdmin::Copy(from, to);
  std::cout << "Copied the board " << board::DescribeBoardName(from) << " to "
            << board::DescribeBoardName(to) << ": " << copied.users << " users, "
            << copied.conferences << " conferences, " << copied.messages << " messages, "
            << copied.files << " files\n";
  return 0;
}

}  // namespace

void AddUpkeepCommands(std::vector<Command>& commands) {  // NOLINT(readability-function-size)
  commands.push_back({{"who",
                       {},
                       Listed({}),
                       "Show each user's last node activity, last download and last upload.",
                       "Columns (JSON fields): user, since, activity, last download\n"
                       "(last_download), last upload (last_upload).\n"},
                      Who});
  commands.push_back(
      {{"stats",
        {},
        Listed({}),
        "Show the board's figures: users, conferences, messages, size, activity.",
        "Users (DEFAULT left out), conferences, messages and the private share, the\n"
        "board's size; per conference its messages, private ones and the date of its\n"
        "newest; per user his last download and upload. --tsv prints three tables\n"
        "(key and value; conferences; users) separated by a blank line; --json one\n"
        "object: users, messages, private_messages, private_percent, board_bytes,\n"
        "conferences [number, name, messages, private, newest] and users_activity\n"
        "[user, last_download, last_upload].\n"},
       Stats});
  commands.push_back(
      {{"backup",
        {"FILE"},
        {},
        "Copy the board file to FILE (a new file), consistently, while nodes run.",
        "Uses SQLite's online backup: the copy is the board as it stood at one moment,\n"
        "and the nodes go on reading and writing meanwhile. FILE is readable by its\n"
        "owner only and is never overwritten. A board on PostgreSQL is backed up with\n"
        "pg_dump (of the schema obrix), or copied to a board file with 'copy'.\n"
        "Example: obrix-board backup /srv/bbs/backup/board-$(date +%F).db\n"},
       Backup});
  commands.push_back({{"restore",
                       {"FILE"},
                       {},
                       "Copy the board FILE back over the board. ONLY WHILE NO NODE RUNS.",
                       "FILE must be a whole board (a backup): it is checked first (SQLite's\n"
                       "integrity check, and a schema version this program reads), and a damaged\n"
                       "one is refused. The board file is replaced in place as a whole; the board\n"
                       "it replaces is kept as BOARD.before-restore (owner-only; refused while\n"
                       "that file exists). Refused while a node or another obrix-board has the\n"
                       "board open: stop the BBS first. A missing board file is created. A board\n"
                       "on PostgreSQL is restored with pg_restore, or filled with 'copy'.\n"},
                      Restore});
  commands.push_back(
      {{"copy",
        {},
        {{"--from", "SOURCE", true}, {"--to", "TARGET", true}},
        "Copy a whole board to a new board, between board files and PostgreSQL.",
        "SOURCE and TARGET are each a board file or a PostgreSQL database (a\n"
        "postgresql:// or postgres:// URI, or service=NAME); --board is not needed.\n"
        "Every user, conference, message, file entry and screen is copied with its\n"
        "ids, byte for byte. The source is read as it stood at one moment, so nodes\n"
        "may go on using it. TARGET is a board file that does not exist yet (made\n"
        "readable and writable by its owner only) or a database that holds no board;\n"
        "it is written in one transaction, and a copy that fails leaves nothing.\n"
        "On a terminal, standard error shows the table being copied and its rows.\n"
        "Example: obrix-board copy --from /srv/bbs/board.db \\\n"
        "           --to postgresql://bbs@db.example.org/bbs\n"},
       Copy});
}

}  // namespace obrix::tool
