#include "platform/transliteration.h"

#include <algorithm>
#include <iterator>

namespace obrix {

namespace {

struct Spelling {
  char32_t code;
  std::string_view ascii;
};

// In code point order.
constexpr Spelling kSpellings[] = {
    {0x00A9, "(C)"}, {0x00AD, "-"},  {0x00AE, "(R)"}, {0x00B8, ","},   {0x00BE, " 3/4 "},
    {0x00D7, "x"},   {0x0152, "OE"}, {0x0153, "oe"},  {0x02C6, "^"},   {0x02DC, "~"},
    {0x2013, "-"},   {0x2014, "--"}, {0x2018, "'"},   {0x2019, "'"},   {0x201A, ","},
    {0x201C, "\""},  {0x201D, "\""}, {0x201E, ",,"},  {0x2020, "+"},   {0x2022, "o"},
    {0x2026, "..."}, {0x2039, "<"},  {0x203A, ">"},   {0x20AC, "EUR"}, {0x2122, "(TM)"},
};

}  // namespace

std::string_view TransliterationOf(char32_t code) {
  const auto found = std::lower_bound(
      std::begin(kSpellings), std::end(kSpellings), code,
      [](const Spelling& spelling, char32_t wanted) { return spelling.code < wanted; });
  return found != std::end(kSpellings) && found->code == code ? found->ascii : std::string_view();
}

}  // namespace obrix
