#include "upload/reply_utf8.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "base/failure.h"
#include "base/text.h"

namespace obrix {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// What a UTF-8 sequence's first byte says: its length, the value bits it
// carries, and the smallest value of that length (below it, an overlong
// form).
struct Lead {
  size_t length = 0;
  uint32_t value = 0;
  uint32_t least = 0;
};

// nullopt for a byte that starts no sequence.
std::optional<Lead> LeadOf(unsigned char lead) {
  if (lead < 0x80) return Lead{1, lead, 0};
  if ((lead & 0xE0) == 0xC0) return Lead{2, lead & 0x1Fu, 0x80};
  if ((lead & 0xF0) == 0xE0) return Lead{3, lead & 0x0Fu, 0x800};
  if ((lead & 0xF8) == 0xF0) return Lead{4, lead & 0x07u, 0x10000};
  return std::nullopt;
}

}  // namespace

std::string CodePointName(std::string_view bytes) {
  if (bytes.empty()) return {};
  const std::optional<Lead> lead = LeadOf(static_cast<unsigned char>(bytes[0]));
  if (!lead) return {};
  const size_t length = lead->length;
  const uint32_t least = lead->least;
  uint32_t value = lead->value;
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
