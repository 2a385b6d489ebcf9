// The board as a whole: init, config, demo, generate, grant.
#include <chrono>
#include <cstdio>
#include <iostream>

#include "admin/board_admin.h"
#include "admin_demo.h"
#include "admin_generate.h"
#include "base/text.h"
#include "platform/terminal.h"
#include "tool_commands.h"
#include "tool_output.h"
#include "tool_text.h"

namespace obrix::tool {

namespace {

using board::BoardAdmin;

int Init(const Arguments& args, const std::string& path) {
  board::BoardConfig config;
  if (auto v = args.Value("--name")) config.name = *v;
  if (auto v = args.Value("--sysop")) config.sysop = *v;
  if (auto v = args.Value("--city")) config.city = *v;
  if (auto v = args.Value("--phone")) config.phone = *v;
  if (auto v = args.Value("--packet-id")) config.packetId = *v;
  if (auto v = args.Value("--serial")) config.serial = *v;
  const std::string password = args.Value("--sysop-password").value_or("");
  BoardAdmin::Create(path, config, password);
  std::cout << "Created the board " << board::DescribeBoardName(path) << ": " << Shown(config.name)
            << ", packet id " << Shown(config.packetId) << ", sysop account "
            << Shown(ToUpper(Trim(config.sysop))) << "\n";
  if (password.empty()) {
    std::cout << "The sysop account has no password yet; give it one with: obrix-board user"
                 " passwd \""
              << Shown(ToUpper(Trim(config.sysop))) << "\" PASSWORD\n";
  }
  return 0;
}

int Config(const Arguments& args, const std::string& path) {
  const OutputFormat format = FormatOf(args);
  BoardAdmin admin = BoardAdmin::Open(path);
  if (args.PositionalCount() == 2) {
    if (format != OutputFormat::kTable) throw UsageError("config: --tsv and --json only list");
    admin.SetConfig(args.Positional(0), args.Positional(1));
    return 0;
  }
  if (args.PositionalCount() == 1 && format == OutputFormat::kTable) {
    std::cout << Shown(admin.GetConfig(args.Positional(0))) << "\n";
    return 0;
  }
  std::vector<std::pair<std::string, std::string>> values;
  if (args.PositionalCount() == 1) {
    values.emplace_back(args.Positional(0), admin.GetConfig(args.Positional(0)));
  } else {
    values = admin.Config();
  }
  Listing listing({{"key", "key"}, {"value", "value"}});
  for (const auto& [key, value] : values) {
    listing.Add({Cell::Text(key), Cell::Setting(value, board::ConfigHoldsNumber(key))});
  }
  PrintListing(listing, format, std::cout);
  return 0;
}

int Demo(const Arguments&, const std::string& path) {
  for (const std::string& line : board::CreateDemoBoard(path)) std::cout << Shown(line) << "\n";
  return 0;
}

void ReadGenerateCounts(const Arguments& args, board::GenerateOptions& options) {
  if (auto v = args.Value("--users")) options.users = ToInt32(*v, "--users");
  if (auto v = args.Value("--conferences")) options.conferences = ToInt32(*v, "--conferences");
  if (auto v = args.Value("--messages")) options.messages = ToInt64(*v, "--messages");
}

// A bound given alone moves the other one when it would cross it.
void ReadGenerateSizes(const Arguments& args, board::GenerateOptions& options) {
  if (auto v = args.Value("--min-size")) options.minSize = ToInt32(*v, "--min-size");
  if (auto v = args.Value("--max-size")) options.maxSize = ToInt32(*v, "--max-size");
  if (args.Value("--min-size") && !args.Value("--max-size")) {
    options.maxSize = std::max(options.maxSize, options.minSize);
  }
  if (args.Value("--max-size") && !args.Value("--min-size")) {
    options.minSize = std::min(options.minSize, options.maxSize);
  }
}

void ReadGenerateAddressee(const Arguments& args, board::GenerateOptions& options) {
  if (auto v = args.Value("--to")) {
    options.to = *v;
    options.toShare = 0.1;
  }
  if (auto v = args.Value("--to-share")) {
    if (!args.Value("--to")) throw UsageError("generate: --to-share needs --to USER");
    options.toShare = ToFraction(*v, "--to-share");
  }
}

board::GenerateOptions GenerateOptionsOf(const Arguments& args) {
  board::GenerateOptions options;
  ReadGenerateCounts(args, options);
  ReadGenerateSizes(args, options);
  if (auto v = args.Value("--seed")) options.seed = static_cast<uint64_t>(ToInt64(*v, "--seed"));
  if (auto v = args.Value("--password")) options.password = *v;
  ReadGenerateAddressee(args, options);
  if (options.users == 0 && options.conferences == 0 && options.messages == 0 &&
      options.to.empty()) {
    throw UsageError("generate: nothing to generate (give --users, --conferences or --messages)");
  }
  board::CheckGenerateOptions(options);
  return options;
}

// What would fail on the board `generate` is about to create, refused
// before it creates anything.
void CheckNewBoardCanTake(const board::GenerateOptions& options) {
  if (options.messages > 0 && options.conferences == 0) {
    throw std::invalid_argument("a new board has no conferences to post to (give --conferences)");
  }
}

// Progress on a terminal's standard error; none when it is not one.
board::GenerateProgress ProgressOnTerminal() {
  if (!StandardErrorIsTerminal()) return {};
  return [](int64_t done, int64_t total) {
    std::fprintf(stderr, "\rgenerate: %lld of %lld messages", static_cast<long long>(done),
                 static_cast<long long>(total));
    if (done == total) std::fprintf(stderr, "\n");
  };
}

void PrintGenerateReport(const board::GenerateReport& report, const board::GenerateOptions& options,
                         double seconds) {
  std::cout << "Added " << report.usersAdded << " users, " << report.conferencesAdded
            << " conferences and " << report.messagesAdded << " messages";
  if (report.messagesAdded > 0) {
    std::cout << " (ids " << report.firstId << " to " << report.lastId;
    if (!options.to.empty()) {
      std::cout << ", " << report.messagesToUser << " to " << Shown(ToUpper(Trim(options.to)));
    }
    std::cout << ")";
  }
  char timing[64];
  std::snprintf(timing, sizeof timing, " in %.1f s", seconds);
  std::cout << timing;
  if (report.messagesAdded > 0 && seconds > 0) {
    std::snprintf(timing, sizeof timing, ", %.0f messages a second",
                  static_cast<double>(report.messagesAdded) / seconds);
    std::cout << timing;
  }
  std::cout << "\n";
}

// Everything is checked before a missing board is created, and the board
// is announced only once it holds what was asked for.
int Generate(const Arguments& args, const std::string& path) {
  const board::GenerateOptions options = GenerateOptionsOf(args);
  const bool created = BoardAdmin::Missing(path);
  if (created) {
    CheckNewBoardCanTake(options);
    BoardAdmin::Create(path, board::BoardConfig{}, "");
  }
  const auto started = std::chrono::steady_clock::now();
  board::GenerateReport report;
  try {
    BoardAdmin admin = BoardAdmin::Open(path);
    report = board::Generate(admin, options, ProgressOnTerminal());
  } catch (...) {
    if (created) BoardAdmin::RemoveNewBoard(path);
    throw;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (created) {
    std::cout << "Created the board " << board::DescribeBoardName(path)
              << " (the sysop account has no password yet)\n";
  }
  PrintGenerateReport(report, options, seconds);
  return 0;
}

int Grant(const Arguments& args, const std::string& path) {
  const uint32_t object = ToFlags(args.Positional(1), "OBJECT");
  const uint32_t flags = ToFlags(args.Positional(2), "FLAGS");
  BoardAdmin admin = BoardAdmin::Open(path);
  admin.Grant(args.Positional(0), object, flags);
  return 0;
}

// init, config, demo: making and setting up a board.
void AddSetupCommands(std::vector<Command>& commands) {
  commands.push_back(
      {{"init",
        {},
        {{"--name", "TEXT"},
         {"--sysop", "NAME"},
         {"--sysop-password", "PW"},
         {"--packet-id", "ID"},
         {"--city", "TEXT"},
         {"--phone", "TEXT"},
         {"--serial", "TEXT"}},
        "Create a new board (an existing board is never overwritten).",
        "Makes the board file, readable and writable by its owner only, or the board's\n"
        "tables in a PostgreSQL database that holds no board yet (the sysop makes the\n"
        "database and its role first), with its configuration, the DEFAULT account\n"
        "(board-wide defaults, no log-in) and the sysop's account (name in upper case;\n"
        "sysop rights). No conferences: add them with 'conf add'. Without\n"
        "--sysop-password the sysop cannot log in until 'user passwd' gives him one.\n"
        "The packet id has 1 to 8 letters, digits, '-' or '_', not beginning with '-'.\n"
        "Example: obrix-board --board /srv/bbs/board.db init --name \"Night Owl BBS\" \\\n"
        "           --sysop \"Pat Smith\" --sysop-password s3cret --packet-id NIGHTOWL\n"
        "         obrix-board --board postgresql://bbs@db.example.org/bbs init ...\n"},
       Init});
  commands.push_back({{"config",
                       {"KEY?", "VALUE?"},
                       Listed({}),
                       "Show the configuration, show one key, or set one.",
                       "Keys: name (52 characters at most), sysop (28), city (32), phone (28),\n"
                       "packet-id (1 to 8 letters, digits, '-', '_'; not '-' first), serial (8),\n"
                       "version (a whole number), packet-limit, conf-limit (whole numbers, at\n"
                       "least 1), charset (cp437: packets in the code page offline readers\n"
                       "decode; windows-1252: the board's bytes), max-message (bytes, at least\n"
                       "1), node-timeout (seconds, 1 to 86400, default 30: on PostgreSQL, how\n"
                       "long the server waits for a node gone silent before it frees its write\n"
                       "lock).\n"
                       "--tsv and --json list the keys asked for (all, or KEY) with the columns\n"
                       "key and value; numeric keys' values are JSON numbers.\n"
                       "Example: obrix-board config packet-limit 2000\n"},
                      Config});
  commands.push_back(
      {{"demo",
        {},
        {},
        "Create the demo board (refusing an existing board).",
        "A board to try the door with: the demo caller DEMO CALLER (password DEMO),\n"
        "the sysop SYSOP (password SYSOP), six conferences, a few hundred messages,\n"
        "screens, and two file areas with new files.\n"},
       Demo});
}

// generate, grant.
void AddContentCommands(std::vector<Command>& commands) {
  commands.push_back(
      {{"generate",
        {},
        {{"--users", "N"},
         {"--conferences", "N"},
         {"--messages", "N"},
         {"--min-size", "BYTES"},
         {"--max-size", "BYTES"},
         {"--to", "USER"},
         {"--to-share", "FRACTION"},
         {"--seed", "N"},
         {"--password", "PW"}},
        "Fill a board with synthetic users, conferences and messages.",
        "Creates the board first when there is none (no file, or a PostgreSQL\n"
        "database without a board), as init would, else adds to it; a board it\n"
        "created is removed again when it fails. Users are USER 1 .. USER N (password GENERATED "
        "unless --password),\n"
        "conferences 0 .. N-1; existing ones are kept and used. Texts are 200 to 2000\n"
        "bytes unless --min-size/--max-size say otherwise. --to USER addresses the\n"
        "share --to-share (default 0.1) of the messages to USER, who is made when\n"
        "missing. The same --seed (default 1) gives the same content.\n"
        "Example: obrix-board --board big.db generate --users 1000 --conferences 50 \\\n"
        "           --messages 1000000 --to \"BENCH USER\" --to-share 0.00001\n"},
       Generate});
  commands.push_back(
      {{"grant",
        {"USER", "OBJECT", "FLAGS"},
        {},
        "Set a user's access flags on an object (decimal or 0x hex).",
        "Example: obrix-board grant \"PAT SMITH\" 0x0100001A 0xFFFFFFFF (sysop rights)\n"},
       Grant});
}

}  // namespace

void AddBoardCommands(std::vector<Command>& commands) {
  AddSetupCommands(commands);
  AddContentCommands(commands);
}

}  // namespace obrix::tool
