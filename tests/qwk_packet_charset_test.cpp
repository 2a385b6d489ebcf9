// The packet's character set: the board's bytes converted on the way out
// through a table must come out exactly as the platform's converter gives
// them, one byte at a time and in whole texts.
#include <gtest/gtest.h>

#include <string>

#include "platform/charset.h"
#include "qwk/packet_charset.h"

namespace obrix {
namespace {

std::string EveryByte() {
  std::string bytes;
  for (int byte = 0; byte < 256; ++byte) bytes.push_back(static_cast<char>(byte));
  return bytes;
}

TEST(QwkPacketCharsetTest, EveryBoardByteBecomesWhatTheConverterGives) {
  auto converter = CharsetConverter::Open(kCharsetCp437, kCharsetBoard);
  ASSERT_TRUE(converter.has_value());
  PacketCharset charset = PacketCharset::ForSetting("cp437");
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    EXPECT_EQ(charset.ToPacket(one), converter->Convert(one, '?')) << "byte " << byte;
  }
}

TEST(QwkPacketCharsetTest, WholeTextsConvertAsTheConverterConvertsThem) {
  const std::string texts[] = {
      EveryByte(),
      "Caf\xE9 cr\xE8me \x80 \x93quoted\x94\r\n\x81\x8D\x8F\x90\x9D end",
      std::string(3, '\0') + "\xFF\xFE",
      "",
  };
  auto converter = CharsetConverter::Open(kCharsetCp437, kCharsetBoard);
  ASSERT_TRUE(converter.has_value());
  PacketCharset charset = PacketCharset::ForSetting(" CP437 ");
  for (const std::string& text : texts) {
    EXPECT_EQ(charset.ToPacket(text), converter->Convert(text, '?')) << text.size() << " bytes";
  }
  // The board's own set passes every byte as stored.
  EXPECT_EQ(PacketCharset::ForSetting("windows-1252").ToPacket(EveryByte()), EveryByte());
}

}  // namespace
}  // namespace obrix
