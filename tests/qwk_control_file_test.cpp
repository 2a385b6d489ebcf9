// The packet's fixed files: the encoders of "control.dat", "door.id" and
// the banner block on plain values, and QwkOpen writing all three from a
// real board.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "base/version.h"
#include "platform/staging.h"
#include "qwk/packet_archive.h"
#include "qwk/qwk_files.h"
#include "support/fakes.h"
#include "support/test_board.h"

namespace obrix {
namespace {

using testing::FixedClock;
using testing::kUser;
using testing::LocalTime;
using testing::ReadFile;
using testing::SplitCrLf;
using testing::WriteFile;

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string Version() {
  return Decimal(version::kMajor) + "." + Decimal(version::kMinor) + "." +
         Decimal(version::kRevision);
}

ControlDat Control() {
  ControlDat control;
  control.boardName = "The Mixed Case Board";
  control.city = "Springfield, OR";
  control.phone = "+1 555 0199";
  control.sysop = "Jim McSysop";
  control.serial = "12AB";
  control.packetId = "mixbbs";
  control.madeAt = LocalTime(2026, 3, 4, 9, 15, 7);
  control.userName = "ALICE CALLER";
  return control;
}

// The ten lines of Control(), with its time line.
std::vector<std::string> HeadLines(const std::string& timeLine) {
  return {"The Mixed Case Board",
          "Springfield, OR",
          "+1 555 0199",
          "JIM MCSYSOP, SysOp",
          "12AB,MIXBBS",
          timeLine,
          "ALICE CALLER",
          "",
          "0",
          "0"};
}

std::vector<std::string> Concat(std::vector<std::string> lines,
                                const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

TEST(QwkControlEncoderTest, HeadWithTheTimeOfWriting) {
  const struct {
    SYSTEMTIME madeAt;
    const char* line;
  } cases[] = {
      {LocalTime(2026, 3, 4, 9, 15, 7), "03-04-2026,09:15:07"},
      {LocalTime(1999, 12, 31, 23, 59, 59), "12-31-1999,23:59:59"},
      {LocalTime(987, 1, 2, 0, 0, 0), "01-02-0987,00:00:00"},
  };
  for (const auto& c : cases) {
    ControlDat control = Control();
    control.madeAt = c.madeAt;
    EXPECT_EQ(EncodeControlDat(control),
              Joined(Concat(HeadLines(c.line), {"-1", "HELLO", "BBSNEWS", "GOODBYE"})));
  }
}

TEST(QwkControlEncoderTest, NamedConferencesAreListedWithGapsForTheOthers) {
  using List = std::vector<std::pair<int32_t, std::string>>;
  const struct {
    List conferences;
    std::vector<std::string> lines;
  } cases[] = {
      {{}, {"-1"}},
      {{{0, ""}}, {"-1"}},
      {{{0, "Main Board"}, {1, "Questions and Answers"}, {2, ""}, {3, std::string(60, 'N')}},
       {"2", "0", "Main Board", "1", "Questions and Answers", "3", std::string(60, 'N')}},
      {{{0, ""}, {1, ""}, {70000, "Far away"}}, {"0", "70000", "Far away"}},
  };
  for (const auto& c : cases) {
    ControlDat control = Control();
    control.conferences = c.conferences;
    std::vector<std::string> tail = c.lines;
    for (const char* line : {"HELLO", "BBSNEWS", "GOODBYE"}) tail.emplace_back(line);
    EXPECT_EQ(EncodeControlDat(control), Joined(Concat(HeadLines("03-04-2026,09:15:07"), tail)));
  }
}

TEST(QwkControlEncoderTest, DoorFileAndBannerBlock) {
  EXPECT_EQ(
      EncodeDoorId(612),
      Joined({"DOOR = Obrix", "Version = " + Version(), "SYSTEM = Wildcat! 612",
              "CONTROLNAME = RIZIVI", "CONTROLTYPE = ADD", "CONTROLTYPE = DROP",
              "CONTROLTYPE = RESET", "CONTROLTYPE = REQUEST", "CONTROLTYPE = CONFIG", "RECEIPT"}));
  const std::string banner =
      "Produced by Obrix " + Version() + " - " + version::kLegalNotice + " " + version::kCompany;
  EXPECT_EQ(EncodeBannerBlock(), banner + std::string(128 - banner.size(), ' '));
}

class QwkControlFileTest : public testing::RunOnBoardTest {
 protected:
  bool Open() { return QwkOpen(board_, clock_, state_.QwkPath, kUser, charset_); }

  const FixedClock clock_{LocalTime(2026, 3, 4, 9, 15, 7)};
  PacketCharset charset_;  // bytes as stored
};

TEST_F(QwkControlFileTest, WritesTheThreeFilesFromTheBoard) {
  auto& admin = Admin();
  admin.SetConfig("name", "The Mixed Case Board");
  admin.SetConfig("sysop", "Jim McSysop");
  admin.SetConfig("city", "Springfield, OR");
  admin.SetConfig("phone", "+1 555 0199");
  admin.SetConfig("packet-id", "mixbbs");
  admin.SetConfig("serial", "12AB");
  admin.SetConfig("version", "612");
  admin.AddUser("Other Caller", "x", "");
  admin.AddConference(0, "Main Board", 3, {});
  // Closed to the user: the board gives it no name.
  admin.AddConference(1, "Sysops Only", 3, {"Other Caller"});
  admin.AddConference(2, "Questions", 3, {});
  LogInUser();

  ASSERT_TRUE(Open());
  EXPECT_EQ(
      ReadFile(Work(kControlFile)),
      Joined(Concat(HeadLines("03-04-2026,09:15:07"),
                    {"1", "0", "Main Board", "2", "Questions", "HELLO", "BBSNEWS", "GOODBYE"})));
  EXPECT_EQ(ReadFile(Work(kDoorIdFile)), EncodeDoorId(612));
  EXPECT_EQ(ReadFile(Work(kMessagesFile)), EncodeBannerBlock());
}

TEST_F(QwkControlFileTest, ASecondOpenReplacesTheFilesWithoutFollowingLinks) {
  LogInUser();
  WriteFile(Work(kMessagesFile), std::string(1000, 'm'));
  WriteFile(Work(kDoorIdFile), std::string(1000, 'd'));
  const std::string outside = dir_ / "outside.txt";
  WriteFile(outside, "keep me");
  OBRIX_SKIP_WITHOUT(testing::Need::kSymlinks);
  ASSERT_TRUE(MakeSymlink(outside, Work(kControlFile)));

  ASSERT_TRUE(Open());
  EXPECT_EQ(ReadFile(Work(kMessagesFile)).size(), 128u);
  EXPECT_EQ(SplitCrLf(ReadFile(Work(kDoorIdFile))).size(), 10u);
  EXPECT_TRUE(IsPlainFile(Work(kControlFile)));
  EXPECT_EQ(SplitCrLf(ReadFile(Work(kControlFile)))[6], kUser);
  EXPECT_EQ(ReadFile(outside), "keep me");
}

}  // namespace
}  // namespace obrix
