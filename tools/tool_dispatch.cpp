// Finding the command, the help texts, and turning outcomes into exit
// statuses and error lines.
#include <iostream>
#include <stdexcept>

#include "base/failure.h"
#include "base/version.h"
#include "board/board.h"
#include "tool_commands.h"

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
    for (Command& command : out) {
      command.spec.options.push_back({"--board", "PATH"});
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

const Command* FindCommand(const std::string& name) {
  for (const Command& command : AllCommands()) {
    if (command.spec.name == name) return &command;
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
  out << "Usage: obrix-board [--board PATH] COMMAND ...\n"
         "\n"
         "The sysop's tool for an Obrix board. The board is the file named by --board,\n"
         "else by the environment variable OBRIX_BOARD, else board.db beside the program.\n"
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

int Run(const std::vector<std::string>& args) {
  size_t next = 0;
  std::optional<std::string> board;
  while (next < args.size() && args[next].compare(0, 1, "-") == 0) {
    const std::string& word = args[next];
    if (word == "--help" || word == "-h") {
      PrintToolHelp(std::cout);
      return 0;
    }
    if (word == "--version") {
      std::cout << "obrix-board " << version::kMajor << "." << version::kMinor << "."
                << version::kRevision << "\n";
      return 0;
    }
    if (word == "--board" && next + 1 < args.size()) {
      board = args[next + 1];
      next += 2;
    } else if (word.compare(0, 8, "--board=") == 0) {
      board = word.substr(8);
      ++next;
    } else if (word == "--board") {
      throw UsageError("--board needs a value (PATH)");
    } else {
      throw UsageError("unknown option " + word + " (try obrix-board --help)");
    }
  }
  if (next == args.size()) throw UsageError("no command given (try obrix-board --help)");

  std::string name = args[next++];
  if (IsGroup(name)) {
    if (next == args.size() || args[next] == "--help" || args[next] == "-h") {
      if (next == args.size()) {
        throw UsageError(name + ": which one? (" + GroupMembers(name) + ")");
      }
      PrintGroupHelp(name, std::cout);
      return 0;
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

  const std::vector<std::string> words(args.begin() + static_cast<std::ptrdiff_t>(next),
                                       args.end());
  if (AsksForHelp(words)) {
    PrintCommandHelp(*command, std::cout);
    return 0;
  }
  const Arguments parsed = ParseArguments(command->spec, words);
  if (const auto given = parsed.Value("--board")) board = given;
  if (board && board->empty()) throw UsageError("--board needs a path");
  return command->run(parsed, board ? *board : board::DefaultBoardPath());
}

}  // namespace

int RunBoardTool(const std::vector<std::string>& args) {
  try {
    return Run(args);
  } catch (const UsageError& error) {
    std::cout.flush();
    std::cerr << "obrix-board: " << error.what() << "\n";
    return kExitUsage;
  } catch (const Failure& failure) {
    std::cout.flush();
    std::cerr << "obrix-board: " << failure.description() << "\n";
    return kExitRefused;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "obrix-board: " << error.what() << "\n";
    return kExitRefused;
  }
}

}  // namespace obrix::tool
