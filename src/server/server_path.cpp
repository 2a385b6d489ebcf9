#include "server/server_path.h"

#include <charconv>

#include "base/text.h"

namespace obrix {

namespace {

constexpr std::string_view kConferencePrefix = "wc:\\conf(";
constexpr std::string_view kMessageInfix = ")\\message(";

}  // namespace

std::string ConferenceMessagePath(int32_t conference, int32_t id) {
  return std::string(kConferencePrefix) + Decimal(conference) + std::string(kMessageInfix) +
         Decimal(id) + ")";
}

std::string AttachmentPath(int32_t conference, int32_t id) {
  return ConferenceMessagePath(conference, id) + "\\attach";
}

std::string DisplayPath(std::string_view name) { return "wc:\\disp\\" + std::string(name); }

std::optional<MessagePath> ParseMessagePath(std::string_view path) {
  std::string_view rest = path;
  auto take = [&](std::string_view literal) {
    if (rest.size() < literal.size()) return false;
    for (size_t i = 0; i < literal.size(); ++i) {
      if (ToUpper(rest[i]) != ToUpper(literal[i])) return false;
    }
    rest.remove_prefix(literal.size());
    return true;
  };
  auto number = [&](int32_t& value) {
    size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    if (digits == 0) return false;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + digits, value);
    if (error != std::errc() || end != rest.data() + digits) return false;
    rest.remove_prefix(digits);
    return true;
  };
  MessagePath parsed;
  if (!take(kConferencePrefix) || !number(parsed.conference) || !take(kMessageInfix) ||
      !number(parsed.id) || !take(")") || !rest.empty()) {
    return std::nullopt;
  }
  return parsed;
}

}  // namespace obrix
