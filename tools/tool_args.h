// The command line of obrix-board: each command declares its words and
// options once (CommandSpec); the parser checks a command line against it
// and the help texts are printed from it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/file_time.h"

namespace obrix::tool {

// A command line that does not fit the command: exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OptionSpec {
  std::string name;       // "--password"
  std::string value;      // what the value is called ("PW"); empty for a switch
  bool required = false;  // a value option that must be given
};

struct CommandSpec {
  std::string name;  // "user add"
  // "NAME"; a trailing '?' marks an optional one, a trailing "..." (before
  // the '?') one that may be repeated, as the last. Words named FILE or
  // PATH name local files, SOURCE and TARGET boards; every other word is
  // text for the board.
  std::vector<std::string> positionals;
  std::vector<OptionSpec> options;
  std::string summary;  // one line for the overview
  std::string details;  // the rest of the command's help, lines ending in '\n'
};

class Arguments {
 public:
  size_t PositionalCount() const { return positionals_.size(); }
  const std::string& Positional(size_t index) const { return positionals_.at(index); }
  std::optional<std::string> Value(const std::string& option) const;
  bool Flag(const std::string& option) const { return flags_.count(option) > 0; }
  // Every positional from `first` on.
  std::vector<std::string> PositionalsFrom(size_t first) const;

  // Passes each word that is text for the board (not a FILE, PATH, SOURCE or TARGET)
  // through `convert`, which gets the word's name ("NAME", "--subject")
  // and its value.
  void ConvertText(
      const CommandSpec& spec,
      const std::function<std::string(const std::string& what, const std::string& value)>& convert);

 private:
  friend Arguments ParseArguments(const CommandSpec& spec, const std::vector<std::string>& words);
  std::vector<std::string> positionals_;
  std::map<std::string, std::string> values_;
  std::map<std::string, bool> flags_;
};

// Checks `words` (what follows the command's name) against `spec`.
// "--option VALUE" and "--option=VALUE" are both accepted, options may
// stand anywhere, and "--" ends the options.
Arguments ParseArguments(const CommandSpec& spec, const std::vector<std::string>& words);

// The synopsis line of a command: "user add NAME --password PW [--title TEXT]".
std::string Synopsis(const CommandSpec& spec);

// Conversions of argument values; each raises a UsageError naming `what`.
int32_t ToInt32(const std::string& text, const std::string& what);
int64_t ToInt64(const std::string& text, const std::string& what);
// Decimal or "0x" hexadecimal, 0..0xFFFFFFFF.
uint32_t ToFlags(const std::string& text, const std::string& what);
double ToFraction(const std::string& text, const std::string& what);
// "YYYY-MM-DD HH:MM"
FILETIME ToDate(const std::string& text, const std::string& what);

}  // namespace obrix::tool
