// The character set of a packet's text.
//
// The board keeps Windows-1252. Offline readers decode a packet's text as
// code page 437, so with the board's `charset` setting "cp437" the texts the
// board supplies to a packet (names, subjects, message texts, control.dat
// and the new-files list) are converted on the way out, and a reply's names,
// subject and text on the way in. With "windows-1252" the bytes pass as the
// board stores them. On the way out a character that code page 437 lacks
// becomes the platform's transliteration of it ('-' for the en dash, '"'
// for typographic quotes, "EUR" for the euro sign), or '?' where there is
// none; on the way in a character that Windows-1252 lacks becomes '?'.
//
// One PacketCharset serves one run: each converter is opened once, on its
// first use. The way out goes through a table of the 256 board bytes that
// the converter fills on first use: the packet's byte for every board byte
// that becomes one byte, and the packet's text for the few that become
// several (a transliteration). A download converts every message through
// it without a call into the platform's converter. The way to UTF-8 (a
// UTF-8 packet's texts) goes through such a table as well.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/charset.h"
#include "server/server.h"

namespace obrix {

class PacketCharset {
 public:
  // Bytes pass unconverted.
  PacketCharset() = default;

  // The board's `charset` setting: "cp437" (any letter case, blanks around
  // it) converts; any other value passes the bytes as stored.
  static PacketCharset ForSetting(std::string_view setting);
  // The setting of the board that `server` is connected to.
  static PacketCharset ForBoard(Server& server);

  bool Converts() const { return converts_; }

  // Board text (Windows-1252) as the packet carries it. Raises
  // Failure(kFailureCharset) when the platform has no converter.
  std::string ToPacket(std::string_view boardText);
  // Packet text as the board keeps it; raises likewise.
  std::string ToBoard(std::string_view packetText);
  // Board text as UTF-8, whatever the board's setting (the text of a UTF-8
  // packet). A byte that Windows-1252 leaves undefined becomes '?'. Raises
  // Failure(kFailureCharset) when the platform has no converter.
  std::string ToUtf8(std::string_view boardText);
  // A record's blank-filled field converted in place.
  template <size_t N>
  void FieldToPacket(FixedText<N>& field) {
    if (converts_) field.Set(ToPacket(field.View()));
  }
  template <size_t N>
  void FieldToBoard(FixedText<N>& field) {
    if (converts_) field.Set(ToBoard(field.View()));
  }

 private:
  // What each board byte becomes in the packet.
  struct ToPacketTable {
    std::array<bool, 256> single{};                // the byte becomes one byte:
    std::array<char, 256> byte{};                  // this one
    std::map<unsigned char, std::string> several;  // the others' texts
  };
  const ToPacketTable& Table();
  // Every board byte as UTF-8, filled from the converter on first use.
  const std::array<std::string, 256>& Utf8Table();

  bool converts_ = false;
  // Filled once from the converter, on the first conversion.
  std::optional<ToPacketTable> toPacketTable_;
  std::optional<CharsetConverter> toBoard_;
  std::optional<std::array<std::string, 256>> utf8Table_;
};

}  // namespace obrix
