// "hello" and "goodbye" copied from a real board's display files.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/failure.h"
#include "platform/staging.h"
#include "qwk/qwk_files.h"
#include "support/forwarding_server.h"
#include "support/test_board.h"

namespace obrix {
namespace {

using testing::Exists;
using testing::kUser;
using testing::ReadFile;
using testing::WriteFile;

// Every byte value, repeated up to `size` bytes, shifted by `seed`.
std::string Screen(size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed)) & 0xFF);
  return bytes;
}

class QwkBulletinsTest : public testing::RunOnBoardTest {
 protected:
  void Put(const std::string& name, const std::string& bytes) {
    Admin().PutServerFile("wc:\\disp\\" + name, bytes);
  }
};

TEST_F(QwkBulletinsTest, OnlyAGoodbyeScreen) {
  const std::string goodbye = "See you soon.\r\n";
  Put("goodbye.bbs", goodbye);
  LogInUser();
  AddBulletins(context_, state_.QwkPath);
  EXPECT_EQ(ReadFile(Work("goodbye")), goodbye);
  EXPECT_FALSE(Exists(Work("hello")));
}

TEST_F(QwkBulletinsTest, WelcomeScreensFollowOneAnotherInHello) {
  const std::string prelog = "Before you log in\r\n";
  const std::string hello1 = "Welcome, caller!\r\n";
  const std::string hello3 = "Third screen\r\n";
  Put("prelog.bbs", prelog);
  Put("hello1.bbs", hello1);
  Put("hello3.bbs", hello3);
  LogInUser();
  AddBulletins(context_, state_.QwkPath);
  EXPECT_EQ(ReadFile(Work("hello")), prelog + hello1 + hello3);
  EXPECT_FALSE(Exists(Work("goodbye")));
}

TEST_F(QwkBulletinsTest, FilesLeftFromEarlierRunsAreReplaced) {
  const std::string hello2 = "short";
  Put("hello2.bbs", hello2);
  WriteFile(Work("hello"), std::string(300, 'o'));
  WriteFile(Work("goodbye"), "an old goodbye the board no longer has");
  LogInUser();
  AddBulletins(context_, state_.QwkPath);
  EXPECT_EQ(ReadFile(Work("hello")), hello2);
  EXPECT_FALSE(Exists(Work("goodbye")));
}

TEST_F(QwkBulletinsTest, PlantedLinksAreNotFollowed) {
  Put("hello1.bbs", "welcome");
  Put("goodbye.bbs", "bye");
  const std::string outside = dir_ / "outside.txt";
  WriteFile(outside, "not yours");
  OBRIX_SKIP_WITHOUT(testing::Need::kSymlinks);
  ASSERT_TRUE(MakeSymlink(outside, Work("hello")));
  ASSERT_TRUE(MakeSymlink(outside, Work("goodbye")));
  LogInUser();
  AddBulletins(context_, state_.QwkPath);
  EXPECT_EQ(ReadFile(outside), "not yours");
  EXPECT_TRUE(IsPlainFile(Work("hello")));
  EXPECT_TRUE(IsPlainFile(Work("goodbye")));
  EXPECT_EQ(ReadFile(Work("hello")), "welcome");
  EXPECT_EQ(ReadFile(Work("goodbye")), "bye");
}

TEST_F(QwkBulletinsTest, LargeScreensAreCopiedWhole) {
  const std::string prelog = Screen(8073, 1);  // exactly one transfer
  const std::string hello9 = Screen(8074, 2);  // one byte more
  const std::string goodbye = Screen(20000, 3);
  Put("prelog.bbs", prelog);
  Put("hello9.bbs", hello9);
  Put("goodbye.bbs", goodbye);
  LogInUser();
  AddBulletins(context_, state_.QwkPath);
  EXPECT_EQ(ReadFile(Work("hello")), prelog + hello9);
  EXPECT_EQ(ReadFile(Work("goodbye")), goodbye);
}

TEST_F(QwkBulletinsTest, TheBulletinSettingOnlyAddsALogLine) {
  Put("goodbye.bbs", "bye");
  LogInUser();
  AddBulletins(context_, state_.QwkPath);
  EXPECT_FALSE(Exists(log_.path()));
  Admin().SetVar(kUser, "IncludeNewBulletins", "1");
  AddBulletins(context_, state_.QwkPath);
  EXPECT_EQ(Log(), std::vector<std::string>{"Including Bulletins [Not available at this time]"});
  EXPECT_EQ(ReadFile(Work("goodbye")), "bye");
}

// Reads of one server file fail; every handle opened is closed.
class FailingReads : public testing::ForwardingServer {
 public:
  FailingReads(Server& inner, std::string failingPath)
      : ForwardingServer(inner), failingPath_(std::move(failingPath)) {}

  int32_t WcCreateFile(const std::string& path, uint32_t access, uint32_t share,
                       uint32_t disposition) override {
    const int32_t handle = ForwardingServer::WcCreateFile(path, access, share, disposition);
    if (handle != -1) open_.insert(handle);
    if (path == failingPath_) failingHandle_ = handle;
    return handle;
  }
  bool WcReadFile(int32_t handle, char* buffer, uint32_t size, uint32_t& bytesRead) override {
    if (handle == failingHandle_) throw Failure(kFailureServer, "the disk is gone");
    return ForwardingServer::WcReadFile(handle, buffer, size, bytesRead);
  }
  bool WcCloseHandle(int32_t handle) override {
    open_.erase(handle);
    return ForwardingServer::WcCloseHandle(handle);
  }

  const std::set<int32_t>& open() const { return open_; }

 private:
  std::string failingPath_;
  int32_t failingHandle_ = -2;
  std::set<int32_t> open_;
};

TEST_F(QwkBulletinsTest, AFailingCopyDoesNotStopTheOthers) {
  Put("prelog.bbs", "prelog ");
  Put("hello1.bbs", "lost ");
  Put("hello2.bbs", "second");
  Put("goodbye.bbs", "bye");
  LogInUser();
  FailingReads server(board_, "wc:\\disp\\hello1.bbs");
  RunContext context{server, log_, state_};
  AddBulletins(context, state_.QwkPath);
  EXPECT_EQ(ReadFile(Work("hello")), "prelog second");
  EXPECT_EQ(ReadFile(Work("goodbye")), "bye");
  EXPECT_TRUE(server.open().empty());
}

TEST_F(QwkBulletinsTest, CopyingAMissingServerFileLeavesTheLocalFileAlone) {
  WriteFile(Work("local"), "unchanged");
  LogInUser();
  EXPECT_FALSE(CopyServerFile(board_, "wc:\\disp\\nothere.bbs", Work("local"), false));
  EXPECT_EQ(ReadFile(Work("local")), "unchanged");
  Put("there.bbs", "+more");
  EXPECT_TRUE(CopyServerFile(board_, "wc:\\disp\\there.bbs", Work("local"), true));
  EXPECT_EQ(ReadFile(Work("local")), "unchanged+more");
}

}  // namespace
}  // namespace obrix
