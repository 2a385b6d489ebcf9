// The packet's fixed files as QwkOpen writes them from a real board:
// the banner block, "control.dat" line by line and "door.id" in full.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/version.h"
#include "platform/clock.h"
#include "qwk/qwk_files.h"
#include "support/qwk_test_board.h"

namespace obrix {
namespace {

using testing::ReadFile;
using testing::SplitCrLf;
using testing::WriteFile;

std::string AsciiUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string TimeLine(const SYSTEMTIME& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d-%02d-%04d,%02d:%02d:%02d", t.wMonth, t.wDay, t.wYear,
                t.wHour, t.wMinute, t.wSecond);
  return text;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class QwkControlFileTest : public testing::QwkBoardTest {
 protected:
  // Runs QwkOpen and returns the lines of control.dat; line 6 (the time
  // of writing) must be a reading of the clock taken around the call.
  std::vector<std::string> OpenPacket() {
    const std::string before = TimeLine(LocalNow());
    EXPECT_TRUE(QwkOpen(context_, Work("OBRIX.qwk"), 0));
    const std::string after = TimeLine(LocalNow());
    const std::string control = ReadFile(Work("control.dat"));
    EXPECT_EQ(control.substr(control.size() - 2), "\r\n");
    std::vector<std::string> lines = SplitCrLf(control);
    EXPECT_GE(lines.size(), 6u);
    if (lines.size() >= 6) {
      EXPECT_TRUE(lines[5] == before || lines[5] == after) << lines[5];
      lines[5] = "<time>";
    }
    return lines;
  }

  std::vector<std::string> HeadLines(const board::BoardConfig& config) {
    return {config.name,
            config.city,
            config.phone,
            AsciiUpper(config.sysop) + ", SysOp",
            config.serial + "," + AsciiUpper(config.packetId),
            "<time>",
            kUser,
            "",
            "0",
            "0"};
  }
};

TEST_F(QwkControlFileTest, WithoutNamedConferencesTheCountIsMinusOne) {
  auto admin = Admin();
  admin.AddUser("Other Caller", "x", "");
  // The only conference is closed to the user, so it comes without a name.
  admin.AddConference(0, "Closed", 3, {"Other Caller"});
  LogInUser();
  std::vector<std::string> expected = HeadLines(board::BoardConfig{});
  for (const char* line : {"-1", "HELLO", "BBSNEWS", "GOODBYE"}) expected.push_back(line);
  EXPECT_EQ(OpenPacket(), expected);
}

TEST_F(QwkControlFileTest, NamedConferencesAreListedWithGapsForTheOthers) {
  auto admin = Admin();
  admin.AddUser("Other Caller", "x", "");
  admin.AddConference(0, "Main Board", 3, {});
  admin.AddConference(1, "Questions and Answers", 3, {});
  admin.AddConference(2, "Sysops Only", 3, {"Other Caller"});
  admin.AddConference(3, std::string(60, 'N'), 3, {});
  LogInUser();
  std::vector<std::string> expected = HeadLines(board::BoardConfig{});
  for (const std::string& line :
       {std::string("2"), std::string("0"), std::string("Main Board"), std::string("1"),
        std::string("Questions and Answers"), std::string("3"), std::string(60, 'N'),
        std::string("HELLO"), std::string("BBSNEWS"), std::string("GOODBYE")}) {
    expected.push_back(line);
  }
  EXPECT_EQ(OpenPacket(), expected);
}

TEST_F(QwkControlFileTest, SysopAndPacketIdAreWrittenInUpperCase) {
  board::BoardConfig config;
  config.name = "The Mixed Case Board";
  config.sysop = "Jim McSysop";
  config.city = "Springfield, OR";
  config.phone = "+1 555 0199";
  config.packetId = "mixbbs";
  config.serial = "12AB";
  auto admin = Admin();
  admin.SetConfig("name", config.name);
  admin.SetConfig("sysop", config.sysop);
  admin.SetConfig("city", config.city);
  admin.SetConfig("phone", config.phone);
  admin.SetConfig("packet-id", config.packetId);
  admin.SetConfig("serial", config.serial);
  LogInUser();
  const std::vector<std::string> lines = OpenPacket();
  ASSERT_GE(lines.size(), 10u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 10), HeadLines(config));
  EXPECT_EQ(lines[3], "JIM MCSYSOP, SysOp");
  EXPECT_EQ(lines[4], "12AB,MIXBBS");
}

TEST_F(QwkControlFileTest, DoorFileAndBannerBlock) {
  Admin().SetConfig("version", "612");
  LogInUser();
  OpenPacket();
  const std::string version =
      Decimal(version::kMajor) + "." + Decimal(version::kMinor) + "." + Decimal(version::kRevision);
  EXPECT_EQ(
      ReadFile(Work("door.id")),
      Joined({"DOOR = Obrix", "Version = " + version, "SYSTEM = Wildcat! 612",
              "CONTROLNAME = RIZIVI", "CONTROLTYPE = ADD", "CONTROLTYPE = DROP",
              "CONTROLTYPE = RESET", "CONTROLTYPE = REQUEST", "CONTROLTYPE = CONFIG", "RECEIPT"}));
  const std::string banner =
      "Produced by Obrix " + version + " - " + version::kLegalNotice + " " + version::kCompany;
  EXPECT_EQ(ReadFile(Work("messages.dat")), banner + std::string(128 - banner.size(), ' '));
}

TEST_F(QwkControlFileTest, ASecondOpenReplacesTheFilesWithoutFollowingLinks) {
  LogInUser();
  WriteFile(Work("messages.dat"), std::string(1000, 'm'));
  WriteFile(Work("door.id"), std::string(1000, 'd'));
  const std::string outside = dir_ / "outside.txt";
  WriteFile(outside, "keep me");
  ASSERT_EQ(symlink(outside.c_str(), Work("control.dat").c_str()), 0);

  OpenPacket();
  EXPECT_EQ(ReadFile(Work("messages.dat")).size(), 128u);
  EXPECT_EQ(SplitCrLf(ReadFile(Work("door.id"))).size(), 10u);
  EXPECT_TRUE(IsPlainFile(Work("control.dat")));
  EXPECT_EQ(ReadFile(outside), "keep me");
}

}  // namespace
}  // namespace obrix
