// Finding the command, the help texts, and turning outcomes into exit
// statuses and error lines.
#include <iostream>
#include <stdexcept>

#include "base/failure.h"
#include "base/version.h"
#include "board/board.h"
#include "platform/charset.h"
#include "tool_commands.h"
#include "tool_text.h"

namespace obrix::tool {

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands = [] {
    std::vector<Command> out;
    AddBoardCommands(out);
    AddUserCommands(out);
    AddMessageCommands(out);
    AddFileCommands(out);
    AddUpkeepCommands(out);
    for (Command& command : out) {
      command.spec.options.push_back({"--board", "PATH"});
      command.spec.options.push_back({"--raw", ""});
    }
    return out;
  }();
  return commands;
}

std::string GroupOf(const std::string& name) { return name.substr(0, name.find(' ')); }

bool IsGroup(const std::string& word) {
  for (const Command& command : AllCommands()) {
    if (command.spec.name.find(' ') != std::string::npos && GroupOf(command.spec.name) == word) {
      return true;
    }
  }
  return false;
}

// Commands that the overview leaves out: the completion's own.
const std::vector<Command>& HiddenCommands() {
  static const std::vector<Command> commands = [] {
    std::vector<Command> out;
    AddCompletionCommands(out);
    for (Command& command : out) command.spec.options.push_back({"--board", "PATH"});
    return out;
  }();
  return commands;
}

const Command* FindCommand(const std::string& name) {
  for (const auto* list : {&AllCommands(), &HiddenCommands()}) {
    for (const Command& command : *list) {
      if (command.spec.name == name) return &command;
    }
  }
  return nullptr;
}

bool AsksForHelp(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word == "--") return false;
    if (word == "--help" || word == "-h") return true;
  }
  return false;
}

void PrintToolHelp(std::ostream& out) {
  out << "Usage: obrix-board [--board PATH] [--raw] COMMAND ...\n"
         "       obrix-board --version\n"
         "\n"
         "The sysop's tool for an Obrix board. The board is named by --board, else by\n"
         "the environment variable OBRIX_BOARD, else it is board.db beside the program\n"
         "(not for an installed program, which keeps no files beside itself):\n"
         "a board file's path, or a PostgreSQL database as a postgresql:// or\n"
         "postgres:// URI or service=NAME (credentials from the URI, ~/.pgpass or the\n"
         "service file).\n"
         "Arguments and text files are read, and results printed, in the locale's\n"
         "character set; the board keeps Windows-1252. --raw passes bytes as stored.\n"
         "\n"
         "Commands:\n";
  for (const Command& command : AllCommands()) {
    out << "  " << Synopsis(command.spec) << "\n      " << command.spec.summary << "\n";
  }
  out << "\n"
         "Give --help after a command for its details. Exit status: 0 done, 1 refused\n"
         "or failed, 2 the command line is wrong.\n";
}

void PrintCommandHelp(const Command& command, std::ostream& out) {
  out << "Usage: obrix-board [--board PATH] " << Synopsis(command.spec) << "\n\n"
      << command.spec.summary << "\n";
  if (!command.spec.details.empty()) out << "\n" << command.spec.details;
}

void PrintGroupHelp(const std::string& group, std::ostream& out) {
  out << "Usage: obrix-board [--board PATH] " << group << " SUBCOMMAND ...\n\n";
  for (const Command& command : AllCommands()) {
    if (GroupOf(command.spec.name) == group) {
      out << "  " << Synopsis(command.spec) << "\n      " << command.spec.summary << "\n";
    }
  }
}

std::string GroupMembers(const std::string& group) {
  std::string out;
  for (const Command& command : AllCommands()) {
    if (GroupOf(command.spec.name) != group) continue;
    out += (out.empty() ? "" : ", ") + command.spec.name.substr(group.size() + 1);
  }
  return out;
}

// The tool's own options, before the command.
struct ToolOptions {
  std::optional<std::string> board;
  bool raw = false;
  bool answered = false;  // --help or --version printed their answer
  size_t next = 0;        // the first word after the options
};

// Reads "--board PATH" or "--board=PATH" at `at` into `board`; returns how
// many words it took.
size_t ReadBoardOption(const std::vector<std::string>& args, size_t at,
                       std::optional<std::string>& board) {
  const std::string& word = args[at];
  if (word == "--board" && at + 1 < args.size()) {
    board = args[at + 1];
    return 2;
  }
  if (word.compare(0, 8, "--board=") == 0) {
    board = word.substr(8);
    return 1;
  }
  if (word == "--board") throw UsageError("--board needs a value (PATH)");
  throw UsageError("unknown option " + word + " (try obrix-board --help)");
}

ToolOptions ReadToolOptions(const std::vector<std::string>& args) {
  ToolOptions options;
  while (options.next < args.size() && args[options.next].compare(0, 1, "-") == 0) {
    const std::string& word = args[options.next];
    if (word == "--help" || word == "-h") {
      PrintToolHelp(std::cout);
      options.answered = true;
      return options;
    }
    if (word == "--version") {
      if (args.size() != 1) throw UsageError("--version stands alone on the command line");
      std::cout << version::kVersionLine << "\n";
      options.answered = true;
      return options;
    }
    if (word == "--raw") {
      options.raw = true;
      ++options.next;
      continue;
    }
    options.next += ReadBoardOption(args, options.next, options.board);
  }
  return options;
}

// The command named at `next`, a group's name taking the following word as
// well; `next` moves past the name. nullptr when the group's help was asked
// for (and printed) instead.
const Command* ReadCommandName(const std::vector<std::string>& args, size_t& next) {
  if (next == args.size()) throw UsageError("no command given (try obrix-board --help)");
  std::string name = args[next++];
  if (IsGroup(name)) {
    if (next == args.size()) throw UsageError(name + ": which one? (" + GroupMembers(name) + ")");
    if (args[next] == "--help" || args[next] == "-h") {
      PrintGroupHelp(name, std::cout);
      return nullptr;
    }
    const std::string group = name;
    name += " " + args[next++];
    if (!FindCommand(name)) {
      throw UsageError(group + ": unknown command " + args[next - 1] + " (" + GroupMembers(group) +
                       ")");
    }
  }
  const Command* command = FindCommand(name);
  if (!command) throw UsageError("unknown command " + name + " (try obrix-board --help)");
  return command;
}

// Runs `command` with `words`, or prints its help when they ask for it. A
// --board among the words overrides `options.board`. The words that are
// text for the board are converted from the terminal's set first.
int Execute(const Command& command, const std::vector<std::string>& words,
            const ToolOptions& options, const std::string& charset) {
  if (AsksForHelp(words)) {
    PrintCommandHelp(command, std::cout);
    return 0;
  }
  Arguments parsed = ParseArguments(command.spec, words);
  std::optional<std::string> board = options.board;
  if (const auto given = parsed.Value("--board")) board = given;
  if (board && board->empty()) throw UsageError("--board needs a path");
  const TerminalText terminal(charset, options.raw || parsed.Flag("--raw"));
  const TerminalScope scope(terminal);
  parsed.ConvertText(command.spec, [&terminal](const std::string& what, const std::string& value) {
    return terminal.ToBoard(what, value);
  });
  return command.run(parsed, board ? *board : board::DefaultBoardPath());
}

int Run(const std::vector<std::string>& args, const std::string& charset) {
  const ToolOptions options = ReadToolOptions(args);
  if (options.answered) return 0;
  size_t next = options.next;
  const Command* command = ReadCommandName(args, next);
  if (!command) return 0;
  const std::vector<std::string> words(args.begin() + static_cast<std::ptrdiff_t>(next),
                                       args.end());
  return Execute(*command, words, options, charset);
}

// One error line on standard error. `terminalText` says whether the
// message is terminal text already (else it is board text, converted).
int Report(const std::string& message, bool terminalText, int status) {
  std::cout.flush();
  const TerminalText& terminal = Terminal();
  std::cerr << "obrix-board: "
            << (terminalText ? terminal.Escaped(message) : terminal.Shown(message)) << "\n";
  return status;
}

}  // namespace

int RunBoardTool(const std::vector<std::string>& args, const std::string& charset) {
  // Error lines are converted and escaped even when the command ran --raw.
  const TerminalText terminal(charset, false);
  const TerminalScope scope(terminal);
  try {
    return Run(args, charset);
  } catch (const UsageError& error) {
    return Report(error.what(), true, kExitUsage);
  } catch (const TerminalError& error) {
    return Report(error.what(), true, kExitRefused);
  } catch (const Failure& failure) {
    return Report(failure.description(), false, kExitRefused);
  } catch (const std::exception& error) {
    return Report(error.what(), false, kExitRefused);
  }
}

int RunBoardTool(const std::vector<std::string>& args) {
  return RunBoardTool(args, LocaleCharset());
}

}  // namespace obrix::tool
