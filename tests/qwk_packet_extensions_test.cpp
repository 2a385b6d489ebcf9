// What QWKE and UTF-8 packets add, piece by piece: the caller's setting,
// the dates and sections of "headers.dat" and the UTF-8 conversion.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "download/packet_kind_setting.h"
#include "qwk/packet_charset.h"
#include "qwk/qwk_files.h"

namespace obrix {
namespace {

TEST(QwkPacketKindTest, TheSettingNamesAKindWhateverItsCaseAndBlanks) {
  const struct {
    const char* value;
    std::optional<PacketKind> kind;
  } cases[] = {
      {"qwk", PacketKind::kQwk},      {"QWKE", PacketKind::kQwke}, {" Utf8 ", PacketKind::kUtf8},
      {"u t f 8", PacketKind::kUtf8}, {"utf-8", std::nullopt},     {"", std::nullopt},
      {"qwkee", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ParsePacketKind(c.value), c.kind);
  }
}

TEST(QwkPacketExtensionsTest, WhenWrittenGivesTheOffsetAndItsZoneCode) {
  SYSTEMTIME time;
  time.wYear = 2026;
  time.wMonth = 3;
  time.wDay = 5;
  time.wHour = 9;
  time.wMinute = 7;
  time.wSecond = 2;
  const struct {
    int32_t offset;
    const char* text;
  } cases[] = {
      {0, "20260305090702+0000 0000"},      {3600, "20260305090702+0100 003c"},
      {-18000, "20260305090702-0500 fed4"}, {19800, "20260305090702+0530 014a"},
      {-12600, "20260305090702-0330 ff2e"}, {50400, "20260305090702+1400 0348"},
  };
  for (const auto& c : cases) EXPECT_EQ(WhenWritten(time, c.offset), c.text);
}

TEST(QwkPacketExtensionsTest, HeadersSectionsAndMessageIds) {
  EXPECT_EQ(MessageIdDomain("  The \xC3rea -- BBS! "), "the-rea-bbs");
  EXPECT_EQ(MessageIdDomain("???"), "obrix");
  HeadersEntry entry;
  entry.offset = 0x1a80;
  entry.subject = "Two\r\nlines";
  entry.to = "ALL";
  entry.sender = "BOB";
  entry.messageId = MessageId(12, 3, "obrix");
  entry.conference = 3;
  EXPECT_EQ(EncodeHeadersSection(entry),
            "[1a80]\r\nUtf8 = true\r\nSubject = Two  lines\r\nTo = ALL\r\nSender = BOB\r\n"
            "Message-ID = <12.3@obrix>\r\nConference = 3\r\n\r\n");
  entry.offset = 0x80;
  entry.whenWritten = "20260305090702+0000 0000";
  entry.inReplyTo = MessageId(11, 3, "obrix");
  EXPECT_THAT(
      EncodeHeadersSection(entry),
      ::testing::AllOf(::testing::StartsWith("[80]\r\n"),
                       ::testing::HasSubstr("\r\nWhenWritten = 20260305090702+0000 0000\r\n"),
                       ::testing::HasSubstr("\r\nIn-Reply-To = <11.3@obrix>\r\n")));
}

TEST(QwkPacketExtensionsTest, BoardTextBecomesUtf8WhateverTheBoardsSetting) {
  for (const char* setting : {"cp437", "windows-1252"}) {
    PacketCharset charset = PacketCharset::ForSetting(setting);
    EXPECT_EQ(charset.ToUtf8("a\xE3\x80\x8C\xFF\x81"), "a\xC3\xA3\xE2\x82\xAC\xC5\x92\xC3\xBF?");
  }
}

}  // namespace
}  // namespace obrix
