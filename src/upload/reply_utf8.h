// Replies that a reader wrote in UTF-8, read into the board's Windows-1252.
//
// A reader that knows HEADERS.DAT may mark a reply's text and long fields
// as UTF-8 whatever the packet it answered was. The board keeps
// Windows-1252 only, so such a reply is converted strictly: a character
// that Windows-1252 lacks, or bytes that are no UTF-8, refuse the reply
// rather than reach the board as something else.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/charset.h"

namespace obrix {

// "U+XXXX" (at least four upper-case hexadecimal digits) for the one
// character whose UTF-8 is `bytes`; empty when `bytes` is not exactly one
// well-formed UTF-8 character (a stray or missing continuation byte, an
// overlong form, a surrogate, a value beyond U+10FFFF).
std::string CodePointName(std::string_view bytes);

// One per upload: the converter is opened on the first reply that needs
// it, and serves every later one.
class Utf8Replies {
 public:
  // `utf8` as Windows-1252; nullopt when it cannot be converted, with
  // `why` saying so without the caller's bytes: "holds U+0141, which the
  // board's character set lacks" or "is not valid UTF-8 (at byte 17)".
  // Raises Failure(kFailureCharset) when the platform has no converter.
  std::optional<std::string> ToBoard(std::string_view utf8, std::string& why);

 private:
  std::optional<CharsetConverter> converter_;
};

}  // namespace obrix
