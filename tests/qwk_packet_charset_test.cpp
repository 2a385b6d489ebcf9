// The packet's character set: the board's bytes converted on the way out
// through a table must come out exactly as the platform's transliterating
// converter gives them, one byte at a time and in whole texts; what code
// page 437 has keeps its one byte, what it lacks becomes its
// transliteration, several bytes where the platform spells it so.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/charset.h"
#include "platform/transliteration.h"
#include "qwk/packet_charset.h"

namespace obrix {
namespace {

std::string EveryByte() {
  std::string bytes;
  for (int byte = 0; byte < 256; ++byte) bytes.push_back(static_cast<char>(byte));
  return bytes;
}

TEST(QwkPacketCharsetTest, EveryBoardByteBecomesWhatTheConverterGives) {
  auto converter = CharsetConverter::OpenTransliterating(kCharsetCp437, kCharsetBoard);
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
      "\x80\x80 \x96\x97\x85\x99 \xAD",
      "",
  };
  auto converter = CharsetConverter::OpenTransliterating(kCharsetCp437, kCharsetBoard);
  ASSERT_TRUE(converter.has_value());
  PacketCharset charset = PacketCharset::ForSetting(" CP437 ");
  for (const std::string& text : texts) {
    EXPECT_EQ(charset.ToPacket(text), converter->Convert(text, '?')) << text.size() << " bytes";
  }
  // The board's own set passes every byte as stored.
  EXPECT_EQ(PacketCharset::ForSetting("windows-1252").ToPacket(EveryByte()), EveryByte());
}

TEST(QwkPacketCharsetTest, EveryByteThatCodePage437HasKeepsItsOneByte) {
  auto strict = CharsetConverter::Open(kCharsetCp437, kCharsetBoard);
  ASSERT_TRUE(strict.has_value());
  PacketCharset charset = PacketCharset::ForSetting("cp437");
  int kept = 0;
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    std::string packet;
    if (strict->ConvertStrict(one, packet)) continue;  // a byte code page 437 lacks
    EXPECT_EQ(charset.ToPacket(one), packet) << "byte " << byte;
    ++kept;
  }
  EXPECT_GT(kept, 128);  // ASCII and the accented letters at least
}

// The code point of a UTF-8 character.
char32_t CodePoint(const std::string& utf8) {
  const auto byte = [&](size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(utf8[i]));
  };
  if (utf8.size() == 1) return byte(0);
  if (utf8.size() == 2) return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
  return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
}

// The table that stands in for iconv's transliteration on Windows spells
// every character of the board's set as iconv does.
TEST(QwkPacketCharsetTest, TheTransliterationTableSpellsAsTheConverter) {
  auto toUtf8 = CharsetConverter::Open(kCharsetUtf8, kCharsetBoard);
  auto strict = CharsetConverter::Open(kCharsetCp437, kCharsetBoard);
  auto spelling = CharsetConverter::OpenTransliterating(kCharsetCp437, kCharsetBoard);
  ASSERT_TRUE(toUtf8 && strict && spelling);
  int spelled = 0;
  for (int byte = 0x80; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    std::string unicode;
    std::string packet;
    if (toUtf8->ConvertStrict(one, unicode) || !strict->ConvertStrict(one, packet)) continue;
    const std::string_view table = TransliterationOf(CodePoint(unicode));
    EXPECT_EQ(table.empty() ? "?" : std::string(table), spelling->Convert(one, '?'))
        << "byte " << byte;
    spelled += table.empty() ? 0 : 1;
  }
  EXPECT_GE(spelled, 20);
}

struct Transliteration {
  const char* board;
  const char* packet;
};

TEST(QwkPacketCharsetTest, WhatCodePage437LacksBecomesItsTransliteration) {
  const Transliteration cases[] = {
      {"1\x96"
       "2",
       "1-2"},                                     // en dash
      {"\x93quoted\x94", "\"quoted\""},            // double quotes
      {"it\x92s \x91so\x92", "it's 'so'"},         // single quotes
      {"5 \x80", "5 EUR"},                         // the euro sign, three bytes
      {"caf\xE9 \xE9t\xE9", "caf\x82 \x82t\x82"},  // e-acute, which CP437 has
      {"\x80\xE9\x80",
       "EUR\x82"
       "EUR"},
  };
  PacketCharset charset = PacketCharset::ForSetting("cp437");
  for (const Transliteration& c : cases) {
    EXPECT_EQ(charset.ToPacket(c.board), c.packet) << c.packet;
  }
  // The way in is not transliterated: a reply's text keeps what it says.
  EXPECT_EQ(charset.ToBoard("EUR \x82"), "EUR \xE9");
}

// A door run in a UTF-8 locale writes the packet a door in the C locale
// writes: the transliteration is the C locale's, which leaves accented
// letters to '?'.
TEST(QwkPacketCharsetTest, TheLocaleDoesNotChangeThePacket) {
  const std::string text = "JO\xC3O \x8A\x8C \x80 \x96";  // A-tilde, S-caron, OE ligature
  const std::string inTheCLocale = PacketCharset::ForSetting("cp437").ToPacket(text);
  EXPECT_EQ(inTheCLocale, "JO?O ?OE EUR -");
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  const std::string inUtf8 = PacketCharset::ForSetting("cp437").ToPacket(text);
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(inUtf8, inTheCLocale);
}

}  // namespace
}  // namespace obrix
