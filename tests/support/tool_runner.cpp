#include "support/tool_runner.h"

#include <iostream>
#include <sstream>

#include "tools/tool_commands.h"

namespace obrix::testing {

ToolResult RunToolInProcess(const std::vector<std::string>& words, const std::string& input,
                            const std::string& charset) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  auto* const oldIn = std::cin.rdbuf(in.rdbuf());
  auto* const oldOut = std::cout.rdbuf(out.rdbuf());
  auto* const oldErr = std::cerr.rdbuf(err.rdbuf());
  const int status = tool::RunBoardTool(words, charset);
  std::cin.rdbuf(oldIn);
  std::cout.rdbuf(oldOut);
  std::cerr.rdbuf(oldErr);
  return {status, out.str(), err.str()};
}

}  // namespace obrix::testing
