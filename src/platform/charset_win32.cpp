#include <windows.h>

#include <string>

#include "platform/charset.h"

namespace obrix {

namespace {

// The Windows code page of a character-set name; 0 when unknown.
UINT CodePageOf(std::string_view name) {
  if (name == kCharsetBoard || name == "CP1252") return 1252;
  if (name == kCharsetCp437 || name == "IBM437") return 437;
  if (name == kCharsetUtf8 || name == "UTF8") return CP_UTF8;
  return 0;
}

// The length of the character that starts `input` in code page `page`.
std::size_t CharacterLength(std::string_view input, UINT page) {
  if (page != CP_UTF8 || input.empty()) return 1;
  const auto lead = static_cast<unsigned char>(input[0]);
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return length <= input.size() ? length : input.size();
}

}  // namespace

struct CharsetConverter::Impl {
  UINT from = 0;
  UINT to = 0;

  // One character converted, or nullopt when it cannot be.
  std::optional<std::string> One(std::string_view character) const {
    wchar_t wide[4];
    const int count = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, character.data(),
                                          static_cast<int>(character.size()), wide, 4);
    if (count <= 0) return std::nullopt;
    char narrow[8];
    BOOL lossy = FALSE;
    const int bytes =
        WideCharToMultiByte(to, to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, count, narrow,
                            sizeof narrow, nullptr, to == CP_UTF8 ? nullptr : &lossy);
    if (bytes <= 0 || lossy) return std::nullopt;
    return std::string(narrow, static_cast<std::size_t>(bytes));
  }
};

std::optional<CharsetConverter> CharsetConverter::Open(std::string_view to, std::string_view from) {
  auto impl = std::make_unique<Impl>();
  impl->from = CodePageOf(from);
  impl->to = CodePageOf(to);
  if (impl->from == 0 || impl->to == 0) return std::nullopt;
  return CharsetConverter(std::move(impl));
}

CharsetConverter::CharsetConverter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CharsetConverter::CharsetConverter(CharsetConverter&& other) noexcept = default;
CharsetConverter& CharsetConverter::operator=(CharsetConverter&& other) noexcept = default;
CharsetConverter::~CharsetConverter() = default;

std::string CharsetConverter::Convert(std::string_view input, char replacement) {
  std::string output;
  while (!input.empty()) {
    const std::size_t length = CharacterLength(input, impl_->from);
    const auto converted = impl_->One(input.substr(0, length));
    output += converted ? *converted : std::string(1, replacement);
    input.remove_prefix(length);
  }
  return output;
}

std::optional<CharsetConverter::Unconvertible> CharsetConverter::ConvertStrict(
    std::string_view input, std::string& output) {
  output.clear();
  std::size_t offset = 0;
  while (offset < input.size()) {
    const std::size_t length = CharacterLength(input.substr(offset), impl_->from);
    const auto converted = impl_->One(input.substr(offset, length));
    if (!converted) return Unconvertible{offset, std::string(input.substr(offset, length))};
    output += *converted;
    offset += length;
  }
  return std::nullopt;
}

std::string LocaleCharset() { return GetACP() == CP_UTF8 ? kCharsetUtf8 : kCharsetBoard; }

}  // namespace obrix
