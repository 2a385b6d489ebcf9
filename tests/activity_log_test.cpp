#include "run/activity_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "base/failure.h"
#include "support/test_support.h"

namespace obrix {
namespace {

using testing::ReadFile;
using testing::TempDir;

const std::regex kStamp(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d )");

TEST(ActivityLogTest, WritesTheFourCombinations) {
  TempDir dir;
  ActivityLog log(dir / "obrix.log");  // created by the first write
  log.WriteLog("plain", false, false);
  log.WriteLog("as plain", true, false);
  log.WriteLog("", false, true);
  log.WriteLog("Conf: 1, HighMsg: 5, Start: 0", true, true);
  log.WriteLog(", Count: 2, Yours: 0", false, false);

  const std::string text = ReadFile(dir / "obrix.log");
  const auto lines = testing::SplitCrLf(text);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "plain");
  EXPECT_EQ(lines[1], "as plain");
  // An empty stamped message: date, blank, time and a trailing blank.
  EXPECT_EQ(lines[2].size(), 20u);
  EXPECT_TRUE(std::regex_match(lines[2], kStamp)) << lines[2];
  // A line begun open and completed reads as one line with one stamp.
  ASSERT_GT(lines[3].size(), 20u);
  EXPECT_TRUE(std::regex_match(lines[3].substr(0, 20), kStamp)) << lines[3];
  EXPECT_EQ(lines[3].substr(20), "Conf: 1, HighMsg: 5, Start: 0, Count: 2, Yours: 0");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(ActivityLogTest, AppendsBelowEarlierRunsAndStampsWithTheLocalClock) {
  TempDir dir;
  testing::WriteFile(dir / "obrix.log", "an earlier run\r\n");
  const std::string before = LogDate() + " " + LogTime();
  ActivityLog(dir / "obrix.log").Line("Connecting to Wildcat...");
  const std::string after = LogDate() + " " + LogTime();
  const auto lines = testing::SplitCrLf(ReadFile(dir / "obrix.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "an earlier run");
  const std::string stamp = lines[1].substr(0, 19);
  EXPECT_TRUE(stamp == before || stamp == after) << stamp;
  EXPECT_EQ(lines[1].substr(19), " Connecting to Wildcat...");
}

TEST(ActivityLogTest, ALogThatCannotBeOpenedRaisesTheLogFailure) {
  TempDir dir;
  ActivityLog log(dir.path());  // a folder cannot be appended to
  try {
    log.Line("x");
    FAIL() << "no failure raised";
  } catch (const LogFailure& failure) {
    EXPECT_THAT(failure.description(), ::testing::HasSubstr(dir.path()));
  }
}

}  // namespace
}  // namespace obrix
