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
  EXPECT_EQ(StrictToInt32(" 42 "), 42);
  EXPECT_EQ(StrictToInt32("2.5"), 2);
  EXPECT_EQ(StrictToInt32("3.5"), 4);
  EXPECT_EQ(StrictToInt32("-7"), -7);
  EXPECT_THROW(StrictToInt32("abc"), Failure);
  EXPECT_THROW(StrictToInt32(""), Failure);
  EXPECT_THROW(StrictToInt32("12x"), Failure);
  EXPECT_THROW(StrictToInt32("3000000000"), Failure);
  EXPECT_THROW(StrictToInt16("32768"), Failure);
  EXPECT_EQ(StrictToInt16("-32768"), -32768);
}

TEST(TextTest, LenientConversionTakesTheLeadingNumber) {
  EXPECT_EQ(LeadingNumber("12abc"), 12);
  EXPECT_EQ(LeadingNumber("  7.5K"), 7.5);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingInt16("1"), 1);
  EXPECT_THROW(LeadingInt16("40000"), Failure);
}

TEST(TextTest, SettingsReadAsBooleans) {
  EXPECT_FALSE(SettingIsTrue("0"));
  EXPECT_TRUE(SettingIsTrue("1"));
  EXPECT_TRUE(SettingIsTrue("-1"));
  EXPECT_FALSE(SettingIsTrue("false"));
  EXPECT_TRUE(SettingIsTrue("TRUE"));
  EXPECT_TRUE(SettingIsTrue(""));
  EXPECT_TRUE(SettingIsTrue("maybe"));
}

}  // namespace
}  // namespace obrix
