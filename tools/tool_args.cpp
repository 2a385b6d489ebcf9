#include "tool_args.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "admin/board_admin.h"

namespace obrix::tool {

namespace {

const OptionSpec* FindOption(const CommandSpec& spec, const std::string& name) {
  for (const OptionSpec& option : spec.options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

bool IsOptional(const std::string& positional) {
  return !positional.empty() && positional.back() == '?';
}

// The positional's name without its marks: "USER...?" gives "USER".
std::string BareName(std::string positional) {
  if (IsOptional(positional)) positional.pop_back();
  if (positional.size() > 3 && positional.compare(positional.size() - 3, 3, "...") == 0) {
    positional.resize(positional.size() - 3);
  }
  return positional;
}

bool IsRepeated(const std::string& positional) {
  std::string name = positional;
  if (IsOptional(name)) name.pop_back();
  return BareName(positional) != name;
}

// A local file, or a board (a file or a PostgreSQL name), not board text.
bool NamesLocalFile(const std::string& name) {
  return name == "FILE" || name == "PATH" || name == "SOURCE" || name == "TARGET";
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Reads the option `words[at]` ("--name", "--name=VALUE" or "--name VALUE")
// into `values` or `flags`; returns how many words after it were taken.
size_t ReadOption(const CommandSpec& spec, const std::vector<std::string>& words, size_t at,
                  std::map<std::string, std::string>& values, std::map<std::string, bool>& flags) {
  const std::string& word = words[at];
  const size_t equals = word.find('=');
  const std::string name = word.substr(0, equals);
  const OptionSpec* option = FindOption(spec, name);
  if (!option) throw UsageError(spec.name + ": unknown option " + name);
  if (option->value.empty()) {
    if (equals != std::string::npos) throw UsageError(spec.name + ": " + name + " takes no value");
    flags[name] = true;
    return 0;
  }
  if (equals != std::string::npos) {
    values[name] = word.substr(equals + 1);
    return 0;
  }
  if (at + 1 < words.size()) {
    values[name] = words[at + 1];
    return 1;
  }
  throw UsageError(spec.name + ": " + name + " needs a value (" + option->value + ")");
}

void CheckPositionalCount(const CommandSpec& spec, const std::vector<std::string>& positionals) {
  size_t required = 0;
  for (const std::string& positional : spec.positionals) required += IsOptional(positional) ? 0 : 1;
  if (positionals.size() < required) {
    throw UsageError(spec.name + ": missing " + spec.positionals[positionals.size()]);
  }
  const bool repeated = !spec.positionals.empty() && IsRepeated(spec.positionals.back());
  if (positionals.size() > spec.positionals.size() && !repeated) {
    throw UsageError(spec.name + ": unexpected argument " +
                     Quoted(positionals[spec.positionals.size()]));
  }
}

}  // namespace

std::optional<std::string> Arguments::Value(const std::string& option) const {
  const auto found = values_.find(option);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> Arguments::PositionalsFrom(size_t first) const {
  if (first >= positionals_.size()) return {};
  return {positionals_.begin() + static_cast<std::ptrdiff_t>(first), positionals_.end()};
}

void Arguments::ConvertText(
    const CommandSpec& spec,
    const std::function<std::string(const std::string& what, const std::string& value)>& convert) {
  for (size_t i = 0; i < positionals_.size() && !spec.positionals.empty(); ++i) {
    const std::string name = BareName(spec.positionals[std::min(i, spec.positionals.size() - 1)]);
    if (!NamesLocalFile(name)) positionals_[i] = convert(name, positionals_[i]);
  }
  for (auto& [option, value] : values_) {
    const OptionSpec* found = FindOption(spec, option);
    if (found && !NamesLocalFile(found->value)) value = convert(option, value);
  }
}

Arguments ParseArguments(const CommandSpec& spec, const std::vector<std::string>& words) {
  Arguments args;
  bool optionsEnded = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
      args.positionals_.push_back(word);
    } else if (word == "--") {
      optionsEnded = true;
    } else {
      i += ReadOption(spec, words, i, args.values_, args.flags_);
    }
  }
  CheckPositionalCount(spec, args.positionals_);
  for (const OptionSpec& option : spec.options) {
    if (option.required && !args.values_.count(option.name)) {
      throw UsageError(spec.name + ": missing " + option.name + " " + option.value);
    }
  }
  return args;
}

std::string Synopsis(const CommandSpec& spec) {
  std::string out = spec.name;
  size_t optional = 0;
  for (const std::string& positional : spec.positionals) {
    if (IsOptional(positional)) {
      out += " [" + positional.substr(0, positional.size() - 1);
      ++optional;
    } else {
      out += " " + positional;
    }
  }
  out += std::string(optional, ']');
  for (const OptionSpec& option : spec.options) {
    if (option.name == "--board" || option.name == "--raw") continue;  // shown once, on the tool
    const std::string text = option.value.empty() ? option.name : option.name + " " + option.value;
    out += option.required ? " " + text : " [" + text + "]";
  }
  return out;
}

int64_t ToInt64(const std::string& text, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || text.find_first_of(" \t") == 0) {
    throw UsageError(what + " must be a whole number, not " + Quoted(text));
  }
  return value;
}

int32_t ToInt32(const std::string& text, const std::string& what) {
  const int64_t value = ToInt64(text, what);
  if (value < INT32_MIN || value > INT32_MAX) {
    throw UsageError(what + " " + Quoted(text) + " is out of range");
  }
  return static_cast<int32_t>(value);
}

uint32_t ToFlags(const std::string& text, const std::string& what) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  const bool allDigits =
      !digits.empty() &&
      digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos;
  if (!allDigits) {
    throw UsageError(what + " must be a number in decimal or 0x hexadecimal, not " + Quoted(text));
  }
  errno = 0;
  const unsigned long long value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno == ERANGE || value > 0xFFFFFFFFull) {
    throw UsageError(what + " " + Quoted(text) + " does not fit in 32 bits");
  }
  return static_cast<uint32_t>(value);
}

double ToFraction(const std::string& text, const std::string& what) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value)) {
    throw UsageError(what + " must be a number, not " + Quoted(text));
  }
  return value;
}

FILETIME ToDate(const std::string& text, const std::string& what) {
  const auto date = board::ParseBoardDate(text);
  if (!date) {
    throw UsageError(what + " must be a date \"YYYY-MM-DD HH:MM\", not " + Quoted(text));
  }
  return *date;
}

}  // namespace obrix::tool
