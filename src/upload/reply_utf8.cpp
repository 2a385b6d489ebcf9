#include "upload/reply_utf8.h"

#include <cstdint>
#include <cstdio>

#include "base/failure.h"
#include "base/text.h"

namespace obrix {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::string CodePointName(std::string_view bytes) {
  if (bytes.empty()) return {};
  const auto lead = static_cast<unsigned char>(bytes[0]);
  size_t length = 0;
  uint32_t value = 0;
  uint32_t least = 0;  // the smallest value of that length: below it, an overlong form
  if (lead < 0x80) {
    length = 1;
    value = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
    least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
    least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
    least = 0x10000;
  } else {
    return {};
  }
  if (bytes.size() != length) return {};
  for (size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (!IsContinuation(byte)) return {};
    value = (value << 6) | (byte & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return {};
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(value));
  return name;
}

std::optional<std::string> Utf8Replies::ToBoard(std::string_view utf8, std::string& why) {
  if (!converter_) {
    converter_ = CharsetConverter::Open(kCharsetBoard, kCharsetUtf8);
    if (!converter_) {
      throw Failure(kFailureCharset,
                    std::string("No converter from ") + kCharsetUtf8 + " to " + kCharsetBoard);
    }
  }
  std::string board;
  const std::optional<CharsetConverter::Unconvertible> stop =
      converter_->ConvertStrict(utf8, board);
  if (!stop) return board;
  const std::string name = CodePointName(stop->bytes);
  why = name.empty()
            ? "is not valid UTF-8 (at byte " + Decimal(static_cast<int64_t>(stop->offset)) + ")"
            : "holds " + name + ", which the board's character set lacks";
  return std::nullopt;
}

}  // namespace obrix
