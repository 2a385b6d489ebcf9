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

std::string PacketCharset::ToPacket(std::string_view boardText) {
  if (!converts_) return std::string(boardText);
  return Opened(toPacket_, kCharsetCp437, kCharsetBoard).Convert(boardText, '?');
}

std::string PacketCharset::ToBoard(std::string_view packetText) {
  if (!converts_) return std::string(packetText);
  return Opened(toBoard_, kCharsetBoard, kCharsetCp437).Convert(packetText, '?');
}

}  // namespace obrix
