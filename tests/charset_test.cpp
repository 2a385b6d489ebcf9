#include "platform/charset.h"

#include <gtest/gtest.h>

#include <string>

namespace obrix {
namespace {

struct ConvertCase {
  const char* to;
  const char* from;
  std::string input;
  std::string expected;
};

TEST(CharsetTest, ConvertsAndReplacesWhatTheTargetLacks) {
  const ConvertCase cases[] = {
      // "Café crème, naïve" between the board's set and a reader's.
      {kCharsetCp437, kCharsetBoard, "Caf\xE9 cr\xE8me, na\xEFve", "Caf\x82 cr\x8Ame, na\x8Bve"},
      {kCharsetBoard, kCharsetCp437, "Caf\x82 cr\x8Ame, na\x8Bve", "Caf\xE9 cr\xE8me, na\xEFve"},
      // The euro sign and a Windows-1252 quote have no CP437 place.
      {kCharsetCp437, kCharsetBoard, "5\x80 \x93x\x94", "5? ?x?"},
      // CP437's box drawing has no Windows-1252 place; 0x81 is no character of 1252.
      {kCharsetBoard, kCharsetCp437, "\xC9\xCD\xBB", "???"},
      {kCharsetCp437, kCharsetBoard, "a\x81z", "a?z"},
      {kCharsetUtf8, kCharsetBoard, "\x8D\x8F\x90\x9D!", "\?\?\?\?!"},  // nor are these
      {"ASCII", kCharsetBoard, "Jos\xE9!", "Jos?!"},
      {kCharsetBoard, "ASCII", "a\xE9z", "a?z"},
      // The terminal's UTF-8, one replacement per character however long.
      {kCharsetBoard, kCharsetUtf8, "Jos\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5!", "Jos\xE9 \x80 ?!"},
      {kCharsetUtf8, kCharsetBoard, "Jos\xE9", "Jos\xC3\xA9"},
      {kCharsetCp437, kCharsetBoard, "", ""},
  };
  for (const ConvertCase& c : cases) {
    auto converter = CharsetConverter::Open(c.to, c.from);
    ASSERT_TRUE(converter.has_value()) << c.from << " -> " << c.to;
    EXPECT_EQ(converter->Convert(c.input), c.expected) << c.from << " -> " << c.to;
  }
}

TEST(CharsetTest, StrictConversionNamesTheFirstCharacterItCannotConvert) {
  auto converter = CharsetConverter::Open(kCharsetBoard, kCharsetUtf8);
  ASSERT_TRUE(converter.has_value());
  std::string output;
  EXPECT_FALSE(converter->ConvertStrict("na\xC3\xAFve", output).has_value());
  EXPECT_EQ(output, "na\xEFve");
  const auto bad = converter->ConvertStrict("ok \xE6\x97\xA5 \xE2\x82\xAC", output);
  ASSERT_TRUE(bad.has_value());
  EXPECT_EQ(bad->offset, 3u);
  EXPECT_EQ(bad->bytes, "\xE6\x97\xA5");
  EXPECT_EQ(output, "ok ");
}

TEST(CharsetTest, AnUnknownSetCannotBeOpened) {
  EXPECT_FALSE(CharsetConverter::Open(kCharsetBoard, "NO-SUCH-SET-42").has_value());
}

}  // namespace
}  // namespace obrix
