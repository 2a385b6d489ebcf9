// The commands of obrix-board. Each group of commands registers itself in
// the table the dispatcher reads; a command's handler gets its checked
// arguments and the board's path, and returns the exit status.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tool_args.h"

namespace obrix::tool {

struct Command {
  CommandSpec spec;
  std::function<int(const Arguments& args, const std::string& boardPath)> run;
};

void AddBoardCommands(std::vector<Command>& commands);    // init, config, demo, generate, grant
void AddUpkeepCommands(std::vector<Command>& commands);   // who, stats, backup, restore, copy
void AddUserCommands(std::vector<Command>& commands);     // user, var, flags, lastread
void AddMessageCommands(std::vector<Command>& commands);  // conf, post, messages, show, attach
void AddFileCommands(std::vector<Command>& commands);     // area, file, screen
// complete: the words the bash completion offers; not in the overview.
void AddCompletionCommands(std::vector<Command>& commands);

// The whole tool: `args` are the words after the program's name. Writes
// results to standard output, one line per error to standard error, and
// returns the exit status (0 done, 1 refused or failed, 2 usage error).
// The terminal's character set is the locale's (the program calls
// setlocale first), or `charset`.
int RunBoardTool(const std::vector<std::string>& args);
int RunBoardTool(const std::vector<std::string>& args, const std::string& charset);

}  // namespace obrix::tool
