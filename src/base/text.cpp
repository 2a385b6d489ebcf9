#include "base/text.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/failure.h"

namespace obrix {

char ToUpper(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'a' && b <= 'z') return static_cast<char>(b - 0x20);
  switch (b) {
    case 0x9A:
      return static_cast<char>(0x8A);  // s caron
    case 0x9C:
      return static_cast<char>(0x8C);  // oe ligature
    case 0x9E:
      return static_cast<char>(0x8E);  // z caron
    case 0xFF:
      return static_cast<char>(0x9F);  // y diaeresis
    default:
      break;
  }
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<char>(b - 0x20);
  return c;
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToUpper(c);
  return out;
}

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string LogSafe(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = '?';
  }
  return out;
}

std::string Decimal(int64_t value) { return std::to_string(value); }

std::string TwoDigits(int value) { return (value >= 0 && value < 10 ? "0" : "") + Decimal(value); }

namespace {

// Parses sign, digits and an optional fraction at the start of `text`.
// Returns the number of characters used (0 when there is no number).
size_t ParseNumber(std::string_view text, double& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  double result = 0;
  bool digits = false;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    result = result * 10 + (text[i] - '0');
    digits = true;
    ++i;
  }
  if (i < text.size() && text[i] == '.') {
    size_t j = i + 1;
    double scale = 0.1;
    bool fraction = false;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
      result += (text[j] - '0') * scale;
      scale /= 10;
      fraction = true;
      ++j;
    }
    if (fraction || digits) {
      digits = digits || fraction;
      i = j;
    }
  }
  if (!digits) return 0;
  value = negative ? -result : result;
  return i;
}

}  // namespace

double StrictToDouble(std::string_view text) {
  const std::string trimmed = Trim(text);
  double value = 0;
  const size_t used = ParseNumber(trimmed, value);
  if (used == 0 || used != trimmed.size()) {
    throw Failure(kFailureTypeMismatch, "Type mismatch: \"" + LogSafe(text) + "\" is not a number");
  }
  return value;
}

int32_t RoundToInt32(double value) {
  const double rounded = std::nearbyint(value);  // default mode: half to even
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max())) {
    throw Failure(kFailureOverflow, "Overflow");
  }
  return static_cast<int32_t>(rounded);
}

int32_t StrictToInt32(std::string_view text) { return RoundToInt32(StrictToDouble(text)); }

int16_t StrictToInt16(std::string_view text) {
  const int32_t value = StrictToInt32(text);
  if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) {
    throw Failure(kFailureOverflow, "Overflow");
  }
  return static_cast<int16_t>(value);
}

double LeadingNumber(std::string_view text) {
  size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return 0;
  double value = 0;
  if (ParseNumber(text.substr(start), value) == 0) return 0;
  return value;
}

int16_t LeadingInt16(std::string_view text) {
  const double rounded = std::nearbyint(LeadingNumber(text));
  if (rounded < std::numeric_limits<int16_t>::min() ||
      rounded > std::numeric_limits<int16_t>::max()) {
    throw Failure(kFailureOverflow, "Overflow");
  }
  return static_cast<int16_t>(rounded);
}

bool SettingIsTrue(std::string_view text) {
  const std::string trimmed = Trim(text);
  const std::string upper = ToUpper(trimmed);
  if (upper == "TRUE") return true;
  if (upper == "FALSE") return false;
  double value = 0;
  if (!trimmed.empty() && ParseNumber(trimmed, value) == trimmed.size()) return value != 0;
  return true;
}

}  // namespace obrix
