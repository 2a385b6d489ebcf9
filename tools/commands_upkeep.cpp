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

// The board's own figures, as top-level members of the JSON object and as
// the rows of section "board" in the tab-separated table.
std::vector<std::pair<std::string, Cell>> Totals(const board::BoardStats& stats) {
  return {{"users", Cell::Number(stats.users)},
          {"messages", Cell::Number(stats.messages)},
          {"private_messages", Cell::Number(stats.privateMessages)},
          {"private_percent", Cell::Real(Percent(stats.privateMessages, stats.messages))},
          {"board_bytes", Cell::Number(stats.bytes)}};
}

void PrintStatsJson(const board::BoardStats& stats) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  for (const auto& [key, cell] : Totals(stats)) out[key] = cell.ForJson();
  out["conferences"] = ConferenceListing(stats).ToJson();
  out["users_activity"] = ActivityListing(stats).ToJson();
  PrintJson(out, std::cout);
}

// One table of section, item, key and value: the sections are the JSON
// object's members ("board" for its figures); a conference's rows have its
// number as item, a user's his name.
void PrintStatsTsv(const board::BoardStats& stats) {
  Listing table({{"section", "section"}, {"item", "item"}, {"key", "key"}, {"value", "value"}});
  for (auto& [key, cell] : Totals(stats)) {
    table.Add({Cell::Text("board"), Cell::Text(""), Cell::Text(key), std::move(cell)});
  }
  for (const auto& [section, listing] : {std::pair{"conferences", ConferenceListing(stats)},
                                         std::pair{"users_activity", ActivityListing(stats)}}) {
    for (const std::vector<Cell>& row : listing.rows()) {
      for (size_t i = 1; i < row.size(); ++i) {
        table.Add({Cell::Text(section), row[0], Cell::Text(listing.columns()[i].key), row[i]});
      }
    }
  }
  table.PrintTsv(std::cout);
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
      PrintStatsTsv(stats);
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
                       "Columns (--tsv/--json name): user, since, activity, last download\n"
                       "(last_download), last upload (last_upload).\n"},
                      Who});
  commands.push_back(
      {{"stats",
        {},
        Listed({}),
        "Show the board's figures: users, conferences, messages, size, activity.",
        "Users (DEFAULT left out), conferences, messages and the private share, the\n"
        "board's size; per conference its messages, private ones and the date of its\n"
        "newest; per user his last download and upload. --json prints one object:\n"
        "users, messages, private_messages, private_percent, board_bytes,\n"
        "conferences [number, name, messages, private, newest] and users_activity\n"
        "[user, last_download, last_upload]. --tsv prints one table of section,\n"
        "item, key, value: section board (item empty) for the five figures, else\n"
        "conferences (item: its number) or users_activity (item: the user).\n"},
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
