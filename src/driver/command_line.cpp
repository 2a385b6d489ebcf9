#include "driver/command_line.h"

#include "base/text.h"

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

}  // namespace obrix
