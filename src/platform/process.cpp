// The part of running a program that is the same on every platform.
#include "platform/process.h"

#include <string>
#include <vector>

namespace obrix {

namespace {

bool NeedsQuotes(const std::string& word) {
  return word.empty() || word.find_first_of(" \t\n\v\"") != std::string::npos;
}

// One word quoted for the runtime's splitter: backslashes count only
// before a double quote, where each must be doubled (and the quote itself
// escaped), and before the closing quote.
void AppendQuoted(std::string& line, const std::string& word) {
  line += '"';
  size_t backslashes = 0;
  for (const char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      line.append(backslashes * 2 + 1, '\\');
    } else {
      line.append(backslashes, '\\');
    }
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  line += '"';
}

}  // namespace

std::string WindowsCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& word : arguments) {
    if (!line.empty()) line += ' ';
    if (NeedsQuotes(word)) {
      AppendQuoted(line, word);
    } else {
      line += word;
    }
  }
  return line;
}

}  // namespace obrix
