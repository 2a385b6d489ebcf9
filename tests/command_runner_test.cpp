#include "platform/command_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/test_support.h"

namespace obrix {
namespace {

using testing::TempDir;
using testing::TestHelper;

TEST(CommandRunnerTest, SucceedsOnlyForAProgramThatExitsCleanly) {
  EXPECT_TRUE(RunCommand({TestHelper(), "exit", "0"}));
  EXPECT_FALSE(RunCommand({TestHelper(), "exit", "1"}));  // a failing archiver is a failure
  EXPECT_EQ(SystemProcessRunner().Run({TestHelper(), "exit", "9"}, {}), 9);
  EXPECT_FALSE(RunCommand({"obrix-no-such-program-anywhere", "--help"}));
  EXPECT_FALSE(RunCommand({}));
  EXPECT_FALSE(RunCommand({""}));
}

// The folder the door looks in for its board, its work directory and the
// archivers: the one that holds the running program (the test program is
// built beside the helper).
TEST(CommandRunnerTest, TheProgramsFolderHoldsTheRunningProgram) {
  const std::string helper = std::filesystem::path(TestHelper()).filename().string();
  EXPECT_TRUE(testing::Exists(ProgramDirectory() + PathSeparator() + helper)) << ProgramDirectory();
  EXPECT_NE(ProgramDirectory().back(), PathSeparator());
}

TEST(CommandRunnerTest, WaitsForTheWholeRun) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(RunCommand({TestHelper(), "sleep", "1.2"}));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1100));
}

TEST(CommandRunnerTest, PassesEachWordAsItStands) {
  TempDir dir;
  // A word with blanks is one argument: one file, not three.
  EXPECT_TRUE(RunCommand({TestHelper(), "touch", dir / "a b  c", dir / "d"}));
  EXPECT_EQ(testing::ReadFile(dir / "a b  c"), "");
  EXPECT_TRUE(testing::Exists(dir / "d"));
  EXPECT_FALSE(testing::Exists(dir / "a"));
}

TEST(CommandRunnerTest, WritesTheOutputToAFileOfItsOwner) {
  TempDir dir;
  ProcessOptions options;
  options.outputPath = dir / "out.txt";
  EXPECT_EQ(SystemProcessRunner().Run(
                {TestHelper(), "echo", "one", "two words", "say \"hi\"", "a\\", ""}, options),
            0);
  EXPECT_EQ(testing::ReadFile(dir / "out.txt"), "one two words say \"hi\" a\\ ");
}

// What a program built with the Microsoft C runtime gets back from its
// command line is exactly the words given.
TEST(CommandRunnerTest, QuotesWordsForTheWindowsRuntime) {
  struct Case {
    std::vector<std::string> words;
    std::string line;
  };
  const Case cases[] = {
      {{"zip", "-m", "C:\\Qwk\\OBRIX.qwk"}, "zip -m C:\\Qwk\\OBRIX.qwk"},
      {{"zip", "C:\\Program Files\\BBS\\Qwk\\OBRIX.qwk"},
       "zip \"C:\\Program Files\\BBS\\Qwk\\OBRIX.qwk\""},
      {{"unzip", "", "a\tb"}, "unzip \"\" \"a\tb\""},
      {{"x", "say \"hi\""}, "x \"say \\\"hi\\\"\""},
      {{"x", "C:\\dir with blank\\"}, "x \"C:\\dir with blank\\\\\""},
      {{"x", "a\\\\\"b"}, "x \"a\\\\\\\\\\\"b\""},
  };
  for (const Case& c : cases) EXPECT_EQ(WindowsCommandLine(c.words), c.line) << c.line;
}

TEST(CommandRunnerTest, TheChildInheritsNoDescriptorOfOurs) {
  OBRIX_SKIP_WITHOUT(testing::Need::kPosixTools);
  TempDir dir;
  testing::WriteFile(dir / "open.txt", "x");
  const int fd = ::open((dir / "open.txt").c_str(), O_RDONLY);  // not close-on-exec
  ASSERT_GE(fd, 0);
  // The child succeeds only when descriptor fd is closed in it.
  EXPECT_TRUE(RunCommand({"test", "!", "-e", "/proc/self/fd/" + std::to_string(fd)}));
  EXPECT_FALSE(RunCommand({"test", "!", "-e", "/proc/self/fd/2"}));  // standard error reaches it
  ::close(fd);
}

TEST(CommandRunnerTest, TheChildsInputCanBeEmpty) {
  TempDir dir;
  ProcessOptions options;
  options.nullInput = true;
  EXPECT_TRUE(RunCommand({TestHelper(), "copy-input", dir / "in"}, options));
  EXPECT_EQ(testing::ReadFile(dir / "in"), "");
}

TEST(CommandRunnerTest, LimitsTheFilesTheChildMayWrite) {
  OBRIX_SKIP_WITHOUT(testing::Need::kFileSizeLimit);
  TempDir dir;
  ProcessOptions options;
  options.maxFileSize = 4096;
  EXPECT_FALSE(RunCommand({TestHelper(), "fill", dir / "big", "65536"}, options));
  EXPECT_LE(testing::ReadFile(dir / "big").size(), 4096u);
}

}  // namespace
}  // namespace obrix
