#include "platform/command_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "support/test_support.h"

namespace obrix {
namespace {

using testing::TempDir;

TEST(CommandRunnerTest, SucceedsOnlyForAProgramThatExitsCleanly) {
  EXPECT_TRUE(RunCommand("true"));
  EXPECT_FALSE(RunCommand("false"));  // a failing archiver is a failure, not a success
  EXPECT_FALSE(RunCommand("obrix-no-such-program-anywhere --help"));
  EXPECT_FALSE(RunCommand(""));
  EXPECT_FALSE(RunCommand("   "));
}

TEST(CommandRunnerTest, WaitsForTheWholeRun) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(RunCommand("sleep 1.2"));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1100));
}

TEST(CommandRunnerTest, PassesTheWordsAndHidesTheOutput) {
  TempDir dir;
  // touch receives each blank-separated word as its own argument.
  EXPECT_TRUE(RunCommand("touch " + (dir / "a") + "   " + (dir / "b")));
  EXPECT_TRUE(testing::Exists(dir / "a"));
  EXPECT_TRUE(testing::Exists(dir / "b"));
}

TEST(CommandRunnerTest, TheChildInheritsNoDescriptorOfOurs) {
  TempDir dir;
  testing::WriteFile(dir / "open.txt", "x");
  const int fd = ::open((dir / "open.txt").c_str(), O_RDONLY);  // not close-on-exec
  ASSERT_GE(fd, 0);
  // The child succeeds only when descriptor fd is closed in it.
  EXPECT_TRUE(RunCommand("test ! -e /proc/self/fd/" + std::to_string(fd)));
  EXPECT_FALSE(RunCommand("test ! -e /proc/self/fd/2"));  // standard error does reach it
  ::close(fd);
}

TEST(CommandRunnerTest, LimitsTheFilesTheChildMayWrite) {
  TempDir dir;
  ProcessOptions options;
  options.maxFileSize = 4096;
  EXPECT_FALSE(RunCommand("dd if=/dev/zero of=" + (dir / "big") + " bs=1024 count=64", options));
  EXPECT_LE(testing::ReadFile(dir / "big").size(), 4096u);
  options.nullInput = true;
  EXPECT_TRUE(RunCommand("dd of=" + (dir / "in") + " count=1", options));  // stdin is empty
  EXPECT_EQ(testing::ReadFile(dir / "in"), "");
}

}  // namespace
}  // namespace obrix
