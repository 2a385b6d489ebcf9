#include "base/text.h"

#include <gtest/gtest.h>

#include "base/failure.h"

namespace obrix {
namespace {

TEST(TextTest, UpperCasesAsciiAndWindows1252Letters) {
  EXPECT_EQ(ToUpper("abc xyz 09"), "ABC XYZ 09");
  EXPECT_EQ(ToUpper("\xe9\xe0\xfe\xff\x9a\x9c\x9e"), "\xc9\xc0\xde\x9f\x8a\x8c\x8e");
  EXPECT_EQ(ToUpper("\xf7\xdf\xb5"), "\xf7\xdf\xb5");  // division sign, sharp s, micro stay
}

TEST(TextTest, StrictConversionRoundsHalfToEvenAndRejectsText) {
  const struct {
    const char* text;
    int32_t value;
  } numbers[] = {{" 42 ", 42}, {"2.5", 2}, {"3.5", 4}, {"-7", -7}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(StrictToInt32(text), value) << text;
  for (const char* text : {"abc", "", "12x", "3000000000"}) {
    EXPECT_THROW(StrictToInt32(text), Failure) << text;
  }
  EXPECT_THROW(StrictToInt16("32768"), Failure);
  EXPECT_EQ(StrictToInt16("-32768"), -32768);
}

TEST(TextTest, LenientConversionTakesTheLeadingNumber) {
  const struct {
    const char* text;
    double value;
  } numbers[] = {{"12abc", 12}, {"  7.5K", 7.5}, {"abc", 0}, {"", 0}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(LeadingNumber(text), value) << text;
  EXPECT_EQ(LeadingInt16("1"), 1);
  EXPECT_THROW(LeadingInt16("40000"), Failure);
}

TEST(TextTest, DateFieldsTakeTwoDigits) {
  const struct {
    int value;
    const char* text;
  } fields[] = {{0, "00"}, {7, "07"}, {10, "10"}, {59, "59"}, {100, "100"}, {-3, "-3"}};
  for (const auto& [value, text] : fields) EXPECT_EQ(TwoDigits(value), text) << value;
}

TEST(TextTest, SettingsReadAsBooleans) {
  for (const char* text : {"1", "-1", "TRUE", "", "maybe"})
    EXPECT_TRUE(SettingIsTrue(text)) << text;
  for (const char* text : {"0", "false"}) EXPECT_FALSE(SettingIsTrue(text)) << text;
}

}  // namespace
}  // namespace obrix
