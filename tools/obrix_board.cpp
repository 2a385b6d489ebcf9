// obrix-board: the sysop's command for the board.
#include <string>
#include <vector>

#include "tool_commands.h"

int main(int argc, char** argv) {
  return obrix::tool::RunBoardTool(std::vector<std::string>(argv + 1, argv + argc));
}
