// The upload driver in process, where a run of the program cannot reach:
// a board that claims to store every reply, so that one upload posts more
// replies than a 16-bit count would hold.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "board/board.h"
#include "support/forwarding_server.h"
#include "support/upload_test_support.h"
#include "upload/qwk_upload.h"

namespace obrix {
namespace {

class StoreEverything : public testing::ForwardingServer {
 public:
  using ForwardingServer::ForwardingServer;
  bool vbAddMessage(MessageRecord&, const std::string&) override {
    ++stored;
    return true;
  }
  int stored = 0;
};

TEST(UploadDriver, ThePostedCountHoldsMoreThanSixteenBits) {
  testing::TempDir dir;
  const std::string boardPath = testing::CreateTestBoard(dir.path(), 2);
  board::Board board;
  ASSERT_TRUE(board.vbWildcatServerConnect(boardPath.c_str()));
  ASSERT_TRUE(board.WildcatServerCreateContext());
  const int32_t userId = board::BoardAdmin::Open(boardPath).UserId("JOHN DOE");
  UserRecord user;
  ASSERT_TRUE(board.vbLoginUserEx(userId, "SECRET", 1, "Obrix", user));
  StoreEverything server(board);

  const std::string qwk = dir / "Qwk";
  std::filesystem::create_directory(qwk);
  testing::ZipMembers(
      qwk + "/obrix.rep",
      {{"OBRIX.MSG", testing::ReplyFile("OBRIX", std::vector<testing::TestReply>(32768))}});
  ActivityLog log(dir / "obrix.log");
  RunState state;
  state.QwkPath = qwk + "/";
  state.UserId = userId;
  RunContext context{server, log, state};

  EXPECT_TRUE(QwkUpload(context));
  EXPECT_EQ(server.stored, 32768);
  const std::vector<std::string> lines = testing::LogMessages(dir / "obrix.log");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Conf: 1 To: ALL Subj: Hello"), 32768);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "32768 replies uploaded."), 1);
  EXPECT_FALSE(testing::Exists(qwk + "/obrix.rep"));
  EXPECT_THAT(state.keptReplyPackets, ::testing::IsEmpty());
}

}  // namespace
}  // namespace obrix
