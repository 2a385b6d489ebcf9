// The transliterations a converter falls back on where the target set
// lacks a character, for the platforms whose converter has none of its
// own (Windows' code pages). They are iconv's of the C locale for the
// characters of Windows-1252 that code page 437 lacks, so that a packet
// carries the same bytes whichever system made it; a test compares them
// with iconv's for every byte.
#pragma once

#include <string_view>

namespace obrix {

// The ASCII spelling of the character `code` (a Unicode code point), or an
// empty view when it has none.
std::string_view TransliterationOf(char32_t code);

}  // namespace obrix
