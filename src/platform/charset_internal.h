// What the portable part of the character-set conversion (charset.cpp)
// asks of the platform's converter (charset_posix.cpp, charset_win32.cpp);
// nothing else includes it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/charset.h"

namespace obrix {

struct CharsetConverter::Impl {
  virtual ~Impl() = default;
  // Converts as much of `input` as converts, appending to `output`; the
  // offset where conversion stopped, at the start of the character that
  // does not convert (input.size() when all converted).
  virtual std::size_t Run(std::string_view input, std::string& output) = 0;

  bool sourceIsUtf8 = false;  // the source set's characters may take several bytes
};

// The length of the character that starts `input`, as far as the source
// set tells: a UTF-8 lead byte gives its sequence length (cut at the end
// of `input`), every other set here is one byte a character.
std::size_t CharacterLength(std::string_view input, bool utf8);

}  // namespace obrix
