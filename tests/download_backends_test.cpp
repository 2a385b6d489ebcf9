// One board's mail downloaded from a board file and from a PostgreSQL
// database: the packets carry the same bytes, whatever pages the
// PostgreSQL board read its messages in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "board/board_impl.h"
#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::SizeIs;

// Fills `board` with the same mail whatever its kind: conference 1 with
// more than two pages of messages, the user's pointer inside the first;
// conference 2 with less than one page. Public and private messages, to
// everybody and to the user, some from him, some asking for a receipt,
// texts with bytes above 0x7F.
void FillBoard(TestBoard& board) {
  board.AddConferences({1, 2});
  const FILETIME date = FILETIME::FromTicks(133000000000000000ull);
  std::vector<int32_t> ids;
  for (int n = 0; n < 2 * board::kReadAheadPage + 40; ++n) {
    const int32_t conference = n % 9 == 8 ? 2 : 1;
    const bool toUser = n % 4 == 1;
    ids.push_back(board.Post({.conference = conference,
                              .from = n % 11 == 3 ? kUser : kOther,
                              .to = toUser ? kUser : "ALL",
                              .subject = "Message " + Decimal(n),
                              .isPrivate = toUser && n % 3 == 0,
                              .receipt = toUser && n % 5 == 0,
                              .date = FILETIME::FromTicks(date.Ticks() + uint64_t(n) * 600000000),
                              .text = "Line one of " + Decimal(n) + "\r\n\xE4\xF6\xFC " +
                                      std::string(static_cast<size_t>(n % 300), 'x') + "\r\n"}));
  }
  board.Admin().SetLastRead(kUser, 1, ids[30]);
  board.Admin().SetVar(kUser, "MaxMsgPerPacket", "5000");
  board.Admin().SetVar(kUser, "MaxMsgPerConf", "5000");
}

// control.dat's lines but the one that dates the packet ("mm-dd-yyyy,hh:mm:ss").
std::vector<std::string> UndatedControl(const QwkPacket& packet) {
  std::vector<std::string> lines = packet.control;
  if (lines.size() > 5) lines.erase(lines.begin() + 5);
  return lines;
}

TEST(DownloadBackendsTest, ABoardFileAndAPostgresBoardGiveTheSamePacket) {
  Site file({}, board::Backend::kSqlite);
  Site postgres({}, board::Backend::kPostgres);
  FillBoard(file.board);
  FillBoard(postgres.board);

  const ProcessResult fromFile = file.node.Run();
  ASSERT_EQ(fromFile.status, 0) << fromFile.output;
  const ProcessResult fromPostgres = postgres.node.Run();
  ASSERT_EQ(fromPostgres.status, 0) << fromPostgres.output;

  const QwkPacket expected = file.node.Packet();
  const QwkPacket packet = postgres.node.Packet();
  ASSERT_THAT(expected.messages, SizeIs(::testing::Gt(2 * board::kReadAheadPage)));
  // Every member but control.dat holds nothing of the run's time.
  ASSERT_EQ(packet.files.size(), expected.files.size());
  for (const auto& [member, bytes] : expected.files) {
    if (ToUpper(member) == "CONTROL.DAT") continue;
    ASSERT_TRUE(packet.Has(member)) << member;
    EXPECT_TRUE(packet.files.at(member) == bytes) << member << " differs";
  }
  EXPECT_EQ(UndatedControl(packet), UndatedControl(expected));
}

}  // namespace
}  // namespace obrix::testing
