// Character-set conversion at the program's edges.
//
// Text on the board is Windows-1252. It is converted only where it leaves or
// enters the system: a QWK packet (whose readers decode code page 437) and
// the sysop's terminal (the locale's character set). Conversion goes through
// the platform's converter (iconv on POSIX systems); nothing here holds a
// table of its own.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace obrix {

// Names of the character sets the system converts between, as the
// converter knows them.
inline constexpr const char* kCharsetBoard = "WINDOWS-1252";
inline constexpr const char* kCharsetCp437 = "CP437";
inline constexpr const char* kCharsetUtf8 = "UTF-8";

// A one-way converter from one character set to another. Move-only; it
// owns the platform's converter handle.
class CharsetConverter {
 public:
  // A converter from `from` to `to`; nullopt when the platform cannot
  // convert between them.
  static std::optional<CharsetConverter> Open(std::string_view to, std::string_view from);
  // As Open, but a character the target set lacks becomes the platform's
  // transliteration of it where it has one: '"' for a typographic quote,
  // "EUR" for the euro sign (several bytes for one character). Where it
  // has none, Convert's replacement stands in as before. The same in every
  // locale (iconv's tables of the C locale), and on Windows for the
  // characters of Windows-1252 (transliteration.h).
  static std::optional<CharsetConverter> OpenTransliterating(std::string_view to,
                                                             std::string_view from);

  CharsetConverter(CharsetConverter&& other) noexcept;
  CharsetConverter& operator=(CharsetConverter&& other) noexcept;
  ~CharsetConverter();

  // `input` converted; every character that the target set lacks, or that
  // is not a valid character of the source set, becomes `replacement`.
  std::string Convert(std::string_view input, char replacement = '?');

  // The first character of `input` that cannot be converted: its offset
  // and its bytes. nullopt when all of `input` converts.
  struct Unconvertible {
    std::size_t offset = 0;
    std::string bytes;
  };
  // `input` converted into `output`; on a character that cannot be
  // converted, returns it (output then holds what came before it).
  std::optional<Unconvertible> ConvertStrict(std::string_view input, std::string& output);

  // The platform's converter (charset_internal.h), for the platform's
  // parts of this class.
  struct Impl;

 private:
  explicit CharsetConverter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The character set of the current locale (after setlocale(LC_ALL, "")
// was called by the program), e.g. "UTF-8" or "ANSI_X3.4-1968".
std::string LocaleCharset();

// The character set the program's arguments come in: the locale's on a
// POSIX system (setlocale(LC_CTYPE, "") first); on Windows the empty text,
// for the bytes as they are (the ANSI code page, as a Windows BBS passes
// them).
std::string ArgumentCharset();

}  // namespace obrix
