#include "qwk/packet_charset.h"

#include "base/failure.h"
#include "base/text.h"

namespace obrix {

namespace {

// The converter from `from` to `to`, opened when it is first needed.
CharsetConverter& Opened(std::optional<CharsetConverter>& converter, const char* to,
                         const char* from) {
  if (!converter) {
    converter = CharsetConverter::Open(to, from);
    if (!converter) {
      throw Failure(kFailureCharset, std::string("Cannot convert text from ") + from + " to " + to);
    }
  }
  return *converter;
}

}  // namespace

PacketCharset PacketCharset::ForSetting(std::string_view setting) {
  PacketCharset charset;
  std::string value = Trim(setting);
  for (char& c : value) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  charset.converts_ = value == kPacketCharsetCp437;
  return charset;
}

PacketCharset PacketCharset::ForBoard(Server& server) {
  MakewildRecord board;
  server.vbGetMakewild(board);
  return ForSetting(board.charset.View());
}

const PacketCharset::ToPacketTable& PacketCharset::Table() {
  if (toPacketTable_) return *toPacketTable_;
  std::optional<CharsetConverter> converter =
      CharsetConverter::OpenTransliterating(kCharsetCp437, kCharsetBoard);
  if (!converter) {
    throw Failure(kFailureCharset, std::string("Cannot convert text from ") + kCharsetBoard +
                                       " to " + kCharsetCp437);
  }
  // Every byte converted on its own, transliterations and replacements
  // included: one board byte is one character, so a text converts as its
  // bytes do.
  ToPacketTable table;
  for (size_t byte = 0; byte < table.byte.size(); ++byte) {
    const std::string converted = converter->Convert(std::string(1, static_cast<char>(byte)), '?');
    if (converted.size() == 1) {
      table.single[byte] = true;
      table.byte[byte] = converted[0];
    } else {
      table.several[static_cast<unsigned char>(byte)] = converted;
    }
  }
  toPacketTable_ = std::move(table);
  return *toPacketTable_;
}

std::string PacketCharset::ToPacket(std::string_view boardText) {
  if (!converts_) return std::string(boardText);
  const ToPacketTable& table = Table();
  std::string packetText;
  packetText.reserve(boardText.size());
  for (const char c : boardText) {
    const auto byte = static_cast<unsigned char>(c);
    if (table.single[byte]) {
      packetText += table.byte[byte];
    } else {
      packetText += table.several.find(byte)->second;
    }
  }
  return packetText;
}

const std::array<std::string, 256>& PacketCharset::Utf8Table() {
  if (utf8Table_) return *utf8Table_;
  std::optional<CharsetConverter> converter = CharsetConverter::Open(kCharsetUtf8, kCharsetBoard);
  if (!converter) {
    throw Failure(kFailureCharset,
                  std::string("Cannot convert text from ") + kCharsetBoard + " to " + kCharsetUtf8);
  }
  std::array<std::string, 256> table;
  for (size_t byte = 0; byte < table.size(); ++byte) {
    table[byte] = converter->Convert(std::string(1, static_cast<char>(byte)), '?');
  }
  utf8Table_ = std::move(table);
  return *utf8Table_;
}

std::string PacketCharset::ToUtf8(std::string_view boardText) {
  const std::array<std::string, 256>& table = Utf8Table();
  std::string utf8;
  utf8.reserve(boardText.size() + boardText.size() / 8);
  for (const char c : boardText) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += table[byte];
    }
  }
  return utf8;
}

std::string PacketCharset::ToBoard(std::string_view packetText) {
  if (!converts_) return std::string(packetText);
  return Opened(toBoard_, kCharsetBoard, kCharsetCp437).Convert(packetText, '?');
}

}  // namespace obrix
