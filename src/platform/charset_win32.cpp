#include <windows.h>

#include <string>

#include "platform/charset.h"
#include "platform/charset_internal.h"
#include "platform/transliteration.h"

namespace obrix {

namespace {

// US-ASCII's code page: Windows would fold its upper half to the lower.
constexpr UINT kAscii = 20127;

// The Windows code page of a character-set name; 0 when unknown. Besides
// the three the system names, "CP<n>" names code page n (a console's).
UINT CodePageOf(std::string_view name) {
  if (name == kCharsetBoard || name == "CP1252") return 1252;
  if (name == kCharsetCp437 || name == "IBM437") return 437;
  if (name == kCharsetUtf8 || name == "UTF8") return CP_UTF8;
  if (name == "ASCII" || name == "US-ASCII" || name == "ANSI_X3.4-1968") return kAscii;
  if (name.size() > 2 && name.substr(0, 2) == "CP" &&
      name.find_first_not_of("0123456789", 2) == std::string_view::npos && name.size() <= 7) {
    const UINT page = static_cast<UINT>(std::stoul(std::string(name.substr(2))));
    return ::IsValidCodePage(page) ? page : 0;
  }
  return 0;
}

// True when `wide` is a character of code page `page`. Windows maps the
// five places Windows-1252 leaves empty (0x81, 0x8D, 0x8F, 0x90, 0x9D) to
// the C1 controls of the same number, and ASCII's upper half to its lower;
// iconv, and so the system on POSIX, takes neither.
bool Defined(UINT page, wchar_t wide) {
  if (page == kAscii) return wide < 0x80;
  if (page != 1252) return true;
  return wide != 0x81 && wide != 0x8D && wide != 0x8F && wide != 0x90 && wide != 0x9D;
}

// Windows' code pages, converted one character at a time: the system's
// calls take a whole text or refuse it.
struct CodePageConverter final : CharsetConverter::Impl {
  UINT from = 0;
  UINT to = 0;
  bool transliterate = false;  // TransliterationOf where `to` lacks a character

  std::size_t Run(std::string_view input, std::string& output) override {
    std::size_t offset = 0;
    while (offset < input.size()) {
      const std::size_t length = CharacterLength(input.substr(offset), sourceIsUtf8);
      const auto converted = One(input.substr(offset, length));
      if (!converted) break;
      output += *converted;
      offset += length;
    }
    return offset;
  }

  // One character converted, or nullopt when it cannot be.
  std::optional<std::string> One(std::string_view character) const {
    wchar_t wide[4];
    const int count = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, character.data(),
                                          static_cast<int>(character.size()), wide, 4);
    if (count <= 0) return std::nullopt;
    if (from == kAscii && static_cast<unsigned char>(character[0]) >= 0x80) return std::nullopt;
    for (int i = 0; i < count; ++i) {
      if (!Defined(from, wide[i])) return std::nullopt;
      if (!Defined(to, wide[i])) return Spelled(wide, count);
    }
    char narrow[8];
    BOOL lossy = FALSE;
    const int bytes =
        WideCharToMultiByte(to, to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, count, narrow,
                            sizeof narrow, nullptr, to == CP_UTF8 ? nullptr : &lossy);
    if (bytes <= 0 || lossy) return Spelled(wide, count);
    return std::string(narrow, static_cast<std::size_t>(bytes));
  }

  // The transliteration of a character the target set lacks, when asked
  // for and known.
  std::optional<std::string> Spelled(const wchar_t* wide, int count) const {
    if (!transliterate || count != 1) return std::nullopt;
    const std::string_view ascii = TransliterationOf(static_cast<char32_t>(wide[0]));
    if (ascii.empty()) return std::nullopt;
    return std::string(ascii);
  }
};

}  // namespace

std::optional<CharsetConverter> CharsetConverter::Open(std::string_view to, std::string_view from) {
  auto impl = std::make_unique<CodePageConverter>();
  impl->from = CodePageOf(from);
  impl->to = CodePageOf(to);
  if (impl->from == 0 || impl->to == 0) return std::nullopt;
  impl->sourceIsUtf8 = impl->from == CP_UTF8;
  return CharsetConverter(std::move(impl));
}

std::optional<CharsetConverter> CharsetConverter::OpenTransliterating(std::string_view to,
                                                                      std::string_view from) {
  // Windows' own best-fit tables are not used: they differ from iconv's,
  // and a packet must not depend on the system that made it.
  std::optional<CharsetConverter> converter = Open(to, from);
  if (converter) static_cast<CodePageConverter&>(*converter->impl_).transliterate = true;
  return converter;
}

// The sysop's terminal: the console's output code page, or the system's
// ANSI code page when there is no console.
std::string ArgumentCharset() { return {}; }

std::string LocaleCharset() {
  UINT page = ::GetConsoleOutputCP();
  if (page == 0) page = ::GetACP();
  if (page == CP_UTF8) return kCharsetUtf8;
  if (page == 1252) return kCharsetBoard;
  if (page == kAscii) return "ASCII";
  return "CP" + std::to_string(page);
}

}  // namespace obrix
