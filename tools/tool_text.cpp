#include "tool_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/charset.h"

namespace obrix::tool {

namespace {

const TerminalText* current = nullptr;

bool IsUtf8(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return name == "UTF-8" || name == "UTF8";
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string ByteEscape(unsigned char byte) { return "\\x" + Hex(byte, 2); }

bool IsControl(unsigned char byte) { return (byte < 0x20 && byte != '\t') || byte == 0x7F; }

// The UTF-8 encoding of a code point below 0x800.
std::string Utf8Of(unsigned codePoint) {
  if (codePoint < 0x80) return std::string(1, static_cast<char>(codePoint));
  return {static_cast<char>(0xC0 | (codePoint >> 6)), static_cast<char>(0x80 | (codePoint & 0x3F))};
}

// The code point of `bytes` when they are one whole UTF-8 character.
std::optional<unsigned> DecodeUtf8(std::string_view bytes) {
  if (bytes.empty()) return std::nullopt;
  const auto lead = static_cast<unsigned char>(bytes[0]);
  size_t length = 1;
  unsigned value = lead;
  if (lead >= 0xF0 && lead < 0xF5) {
    length = 4;
    value = lead & 0x07u;
  } else if (lead >= 0xE0) {
    length = 3;
    value = lead & 0x0Fu;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0x80) {
    return std::nullopt;
  }
  if (bytes.size() != length) return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[i]);
    if ((next & 0xC0u) != 0x80) return std::nullopt;
    value = (value << 6) | (next & 0x3Fu);
  }
  return value;
}

// The five bytes Windows-1252 leaves undefined.
bool IsUndefinedInBoardSet(unsigned char byte) {
  return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

}  // namespace

TerminalText::TerminalText(std::string charset, bool raw)
    : charset_(std::move(charset)), raw_(raw), utf8_(IsUtf8(charset_)) {}

const TerminalText::ByteTable& TerminalText::Table() const {
  if (table_) return *table_;
  auto converter = CharsetConverter::Open(charset_, kCharsetBoard);
  if (!converter) {
    throw TerminalError("cannot convert between the board's Windows-1252 and the terminal's " +
                        charset_ + " (give --raw for the bytes as stored)");
  }
  ByteTable table;
  for (unsigned byte = 0; byte < 256; ++byte) {
    std::string out;
    const char one = static_cast<char>(byte);
    if (!converter->ConvertStrict(std::string_view(&one, 1), out)) table[byte] = out;
  }
  table_ = std::move(table);
  return *table_;
}

std::string TerminalText::ToBoard(const std::string& what, std::string_view text) const {
  if (raw_) return std::string(text);
  auto converter = CharsetConverter::Open(kCharsetBoard, charset_);
  if (!converter) {
    throw TerminalError("cannot convert from the terminal's " + charset_ +
                        " to the board's Windows-1252 (give --raw to pass bytes as they are)");
  }
  std::string board;
  const auto bad = converter->ConvertStrict(text, board);
  if (!bad) return board;
  if (utf8_) {
    if (const auto codePoint = DecodeUtf8(bad->bytes)) {
      const std::string shown = *codePoint < 0xA0 ? "" : "\"" + bad->bytes + "\" ";
      throw TerminalError(what + ": the character " + shown + "(U+" + Hex(*codePoint, 4) +
                          ") is not in Windows-1252, the board's character set");
    }
  }
  throw TerminalError(what + ": the byte 0x" +
                      Hex(static_cast<unsigned char>(text[bad->offset]), 2) + " at offset " +
                      std::to_string(bad->offset) + " is not " + charset_ +
                      " text (give --raw to store bytes as they are)");
}

std::string TerminalText::Shown(std::string_view board, bool lineEnds) const {
  if (raw_) return std::string(board);
  const ByteTable& table = Table();
  std::string out;
  out.reserve(board.size());
  for (size_t i = 0; i < board.size(); ++i) {
    const auto byte = static_cast<unsigned char>(board[i]);
    const bool lineEnd =
        byte == '\n' || (byte == '\r' && i + 1 < board.size() && board[i + 1] == '\n');
    if (lineEnds && lineEnd) {
      out += static_cast<char>(byte);
    } else if (IsControl(byte) || !table[byte]) {
      out += ByteEscape(byte);
    } else {
      out += *table[byte];
    }
  }
  return out;
}

std::string TerminalText::Exact(std::string_view board) const {
  if (raw_) return std::string(board);
  const ByteTable& table = Table();
  std::string out;
  out.reserve(board.size());
  for (const char c : board) {
    const auto byte = static_cast<unsigned char>(c);
    if (table[byte]) {
      out += *table[byte];
    } else {
      out += utf8_ && IsUndefinedInBoardSet(byte) ? Utf8Of(byte) : "?";
    }
  }
  return out;
}

std::string TerminalText::Escaped(std::string_view terminal) const {
  if (raw_) return std::string(terminal);
  std::string out;
  for (const char c : terminal) {
    const auto byte = static_cast<unsigned char>(c);
    out += IsControl(byte) ? ByteEscape(byte) : std::string(1, c);
  }
  return out;
}

size_t TerminalText::Width(std::string_view terminal) const {
  if (!utf8_) return terminal.size();
  return static_cast<size_t>(std::count_if(terminal.begin(), terminal.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) != 0x80;
  }));
}

std::string BoardToUtf8(std::string_view board) {
  static const TerminalText utf8(kCharsetUtf8, false);
  return utf8.Exact(board);
}

const TerminalText& Terminal() {
  static const TerminalText fallback(LocaleCharset(), false);
  return current ? *current : fallback;
}

std::string Shown(std::string_view board) { return Terminal().Shown(board); }

TerminalScope::TerminalScope(const TerminalText& text) : previous_(current) { current = &text; }

TerminalScope::~TerminalScope() { current = previous_; }

}  // namespace obrix::tool
