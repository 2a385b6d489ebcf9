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

// Every byte converted on its own, replacements included; nullopt when one
// of them does not become exactly one byte.
std::optional<std::array<char, 256>> SingleByteTable(CharsetConverter& converter) {
  std::array<char, 256> table{};
  for (size_t byte = 0; byte < table.size(); ++byte) {
    const std::string converted = converter.Convert(std::string(1, static_cast<char>(byte)), '?');
    if (converted.size() != 1) return std::nullopt;
    table[byte] = converted[0];
  }
  return table;
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

std::string PacketCharset::ToPacket(std::string_view boardText) {
  if (!converts_) return std::string(boardText);
  if (!toPacketTableTried_) {
    toPacketTable_ = SingleByteTable(Opened(toPacket_, kCharsetCp437, kCharsetBoard));
    toPacketTableTried_ = true;
  }
  if (!toPacketTable_)
    return Opened(toPacket_, kCharsetCp437, kCharsetBoard).Convert(boardText, '?');
  std::string packetText(boardText.size(), '\0');
  for (size_t i = 0; i < boardText.size(); ++i) {
    packetText[i] = (*toPacketTable_)[static_cast<unsigned char>(boardText[i])];
  }
  return packetText;
}

std::string PacketCharset::ToBoard(std::string_view packetText) {
  if (!converts_) return std::string(packetText);
  return Opened(toBoard_, kCharsetBoard, kCharsetCp437).Convert(packetText, '?');
}

}  // namespace obrix
