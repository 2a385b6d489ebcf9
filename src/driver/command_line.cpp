#include "driver/command_line.h"

#include <algorithm>

#include "base/text.h"
#include "platform/charset.h"

namespace obrix {

std::string ParseUserName(const std::string& arguments) {
  const std::string text = ToUpper(arguments);
  const size_t p = text.find("/U ");
  if (p == std::string::npos) return {};
  const size_t q = text.find('/', p + 1);
  if (q == std::string::npos) return Trim(text.substr(p + 3));
  // The value ends two characters before the next slash: the character
  // right before the slash (normally the separating blank) is dropped.
  if (q < p + 4) return {};
  return Trim(text.substr(p + 3, q - p - 4));
}

std::string ParsePassword(const std::string& arguments) {
  const std::string text = ToUpper(arguments);
  const size_t p = text.find("/P ");
  if (p == std::string::npos) return {};
  const size_t q = text.find(' ', p + 3);
  if (q == std::string::npos) return Trim(text.substr(p + 3));
  return Trim(text.substr(p + 3, q - p - 3));
}

std::string ParseOperation(const std::string& arguments) {
  const std::string text = ToUpper(arguments);
  if (text.find(" /DOWNLOAD") != std::string::npos) return "DOWNLOAD";
  if (text.find(" /UPLOAD") != std::string::npos) return "UPLOAD";
  return {};
}

bool ParseOverwrite(const std::string& arguments) {
  return ToUpper(arguments).find(" /OVERWRITE") != std::string::npos;
}

bool AsksForVersion(const std::string& arguments) { return arguments == "--version"; }

std::optional<std::string> ArgumentsToBoard(const std::string& arguments,
                                            const std::string& charset, std::string& problem) {
  if (charset.empty() || ToUpper(charset) == "ANSI_X3.4-1968") return arguments;
  std::optional<CharsetConverter> converter = CharsetConverter::Open(kCharsetBoard, charset);
  if (!converter) {
    problem = "the character set " + charset + " is unknown";
    return std::nullopt;
  }
  std::string converted;
  if (const auto bad = converter->ConvertStrict(arguments, converted)) {
    problem = "the character at byte " + Decimal(static_cast<int64_t>(bad->offset) + 1) +
              " is not " + charset + " or has no place in the board's Windows-1252";
    return std::nullopt;
  }
  return converted;
}

bool AsksForHelp(const std::string& arguments) {
  return arguments == "--help" || arguments == "-h" || arguments == "/?";
}

std::vector<std::string> NotUnderstood(const std::string& arguments) {
  enum class After { kNothing, kName, kPasswordSwitch, kPassword, kOperation };
  After after = After::kNothing;
  int passwordWords = 0;
  std::vector<std::string> found;
  size_t at = 0;
  while (at < arguments.size()) {
    if (arguments[at] == ' ') {
      ++at;
      continue;
    }
    const size_t end = std::min(arguments.find(' ', at), arguments.size());
    const std::string word = arguments.substr(at, end - at);
    at = end;
    const std::string upper = ToUpper(word);
    if (after == After::kPasswordSwitch) {  // the password may begin with anything
      after = After::kPassword;
    } else if (upper == "/U") {
      after = After::kName;
    } else if (upper == "/P") {
      after = After::kPasswordSwitch;
    } else if (upper == "/DOWNLOAD" || upper == "/UPLOAD" || upper == "/OVERWRITE") {
      after = After::kOperation;
    } else if (word[0] == '/') {
      found.push_back("the unknown switch " + word);
    } else if (after == After::kPassword) {
      ++passwordWords;
    } else if (after != After::kName) {
      found.push_back("the word " + word);
    }
  }
  if (passwordWords > 0) {
    found.push_back(Decimal(passwordWords) + (passwordWords == 1 ? " word" : " words") +
                    " after the password, which is one word");
  }
  return found;
}

}  // namespace obrix
