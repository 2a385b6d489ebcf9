// obrix-board: the sysop's command for the board.
#include <clocale>
#include <string>
#include <vector>

#include "tool_commands.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");  // the terminal's character set
  return obrix::tool::RunBoardTool(std::vector<std::string>(argv + 1, argv + argc));
}
