// The presence test for local files and for server paths of a real board.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/staging.h"
#include "qwk/qwk_files.h"
#include "support/forwarding_server.h"
#include "support/test_board.h"

namespace obrix {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::WriteFile;

// Counts the server's existence checks.
class CountingServer : public testing::ForwardingServer {
 public:
  using ForwardingServer::ForwardingServer;
  bool WcExistFile(std::string& path) override {
    ++checks;
    return ForwardingServer::WcExistFile(path);
  }
  int checks = 0;
};

class QwkFileExistsTest : public testing::RunOnBoardTest {
 protected:
  bool Local(const std::string& name) {
    std::string path = Work(name);
    return FileExists(board_, path);
  }
};

TEST_F(QwkFileExistsTest, LocalFiles) {
  EXPECT_FALSE(Local("missing.rep"));
  EXPECT_FALSE(Exists(Work("missing.rep")));

  WriteFile(Work("empty.rep"), "");
  EXPECT_FALSE(Local("empty.rep"));
  EXPECT_FALSE(Exists(Work("empty.rep")));

  WriteFile(Work("full.rep"), "PK");
  EXPECT_TRUE(Local("full.rep"));
  EXPECT_EQ(ReadFile(Work("full.rep")), "PK");
}

TEST_F(QwkFileExistsTest, LinksAndFoldersCountAsAbsentAndStay) {
  const std::string target = dir_ / "target";
  WriteFile(target, "data");
  OBRIX_SKIP_WITHOUT(testing::Need::kSymlinks);
  ASSERT_TRUE(MakeSymlink(target, Work("link.rep")));
  ASSERT_TRUE(std::filesystem::create_directory(Work("folder.rep")));
  EXPECT_FALSE(Local("link.rep"));
  EXPECT_FALSE(Local("folder.rep"));
  EXPECT_TRUE(Exists(Work("link.rep")));
  EXPECT_TRUE(IsDirectory(Work("folder.rep")));
  EXPECT_EQ(ReadFile(target), "data");
}

TEST_F(QwkFileExistsTest, ServerPathsAskTheBoardInAnyLetterCase) {
  test_.AddConferences({3});
  const int32_t withFile = test_.Post({.conference = 3, .attachment = "attached bytes"});
  const int32_t withoutFile = test_.Post({.conference = 3, .subject = "No file"});
  test_.Admin().PutServerFile("wc:\\disp\\goodbye.bbs", "bye");
  LogInSystem();
  CountingServer server(board_);

  std::string attached = "wc:\\conf(3)\\message(" + std::to_string(withFile) + ")\\attach";
  EXPECT_TRUE(FileExists(server, attached));
  std::string notAttached = "wc:\\conf(3)\\message(" + std::to_string(withoutFile) + ")\\attach";
  EXPECT_FALSE(FileExists(server, notAttached));
  std::string upper = "WC:\\DISP\\GOODBYE.BBS";
  EXPECT_TRUE(FileExists(server, upper));
  EXPECT_EQ(server.checks, 3);

  // A leading blank makes the prefix "WC:" without its backslash: local.
  std::string blank = " wc:\\disp\\goodbye.bbs";
  EXPECT_FALSE(FileExists(server, blank));
  EXPECT_EQ(server.checks, 3);
}

}  // namespace
}  // namespace obrix
