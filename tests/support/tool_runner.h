// obrix-board run in the test's own process, its standard streams caught.
#pragma once

#include <string>
#include <vector>

namespace obrix::testing {

struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the tool with `words` (what follows the program's name), `input` on
// its standard input and the terminal's character set `charset`.
ToolResult RunToolInProcess(const std::vector<std::string>& words, const std::string& input = "",
                            const std::string& charset = "UTF-8");

}  // namespace obrix::testing
