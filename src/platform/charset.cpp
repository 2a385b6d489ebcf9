// The conversion loops, the same on every platform: the platform's
// converter converts all it can, and these replace or report the
// character where it stops.
#include "platform/charset.h"

#include "platform/charset_internal.h"

namespace obrix {

std::size_t CharacterLength(std::string_view input, bool utf8) {
  if (!utf8 || input.empty()) return 1;
  const auto lead = static_cast<unsigned char>(input[0]);
  std::size_t length = 1;
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  return length <= input.size() ? length : input.size();
}

CharsetConverter::CharsetConverter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CharsetConverter::CharsetConverter(CharsetConverter&& other) noexcept = default;
CharsetConverter& CharsetConverter::operator=(CharsetConverter&& other) noexcept = default;
CharsetConverter::~CharsetConverter() = default;

std::string CharsetConverter::Convert(std::string_view input, char replacement) {
  std::string output;
  output.reserve(input.size());
  while (!input.empty()) {
    const std::size_t done = impl_->Run(input, output);
    if (done >= input.size()) break;
    output += replacement;
    input.remove_prefix(done + CharacterLength(input.substr(done), impl_->sourceIsUtf8));
  }
  return output;
}

std::optional<CharsetConverter::Unconvertible> CharsetConverter::ConvertStrict(
    std::string_view input, std::string& output) {
  output.clear();
  const std::size_t done = impl_->Run(input, output);
  if (done >= input.size()) return std::nullopt;
  const std::size_t length = CharacterLength(input.substr(done), impl_->sourceIsUtf8);
  return Unconvertible{done, std::string(input.substr(done, length))};
}

}  // namespace obrix
