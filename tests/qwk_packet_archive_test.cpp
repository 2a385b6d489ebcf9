// The packet archive built by the real zip from a real board's packet
// files, and read back with the real unzip.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "qwk/packet_archive.h"
#include "qwk/qwk_files.h"
#include "support/fakes.h"
#include "support/test_board.h"

namespace obrix {
namespace {

using testing::Exists;
using testing::kUser;
using testing::ReadFile;
using testing::RunProgram;
using testing::WriteFile;

// The member names that "unzip -l" lists, in archive order.
std::vector<std::string> Members(const std::string& archive, const std::string& workingDirectory) {
  const auto listing = RunProgram({"unzip", "-l", archive}, workingDirectory);
  EXPECT_EQ(listing.status, 0) << listing.output;
  std::vector<std::string> names;
  std::istringstream lines(listing.output);
  std::string line;
  bool inTable = false;
  while (std::getline(lines, line)) {
    if (line.rfind("---------", 0) == 0) {
      if (inTable) break;
      inTable = true;
      continue;
    }
    if (!inTable) continue;
    // "  Length      Date    Time    Name": the name is the last column.
    std::istringstream columns(line);
    std::string length, date, time, name;
    columns >> length >> date >> time >> name;
    names.push_back(name);
  }
  return names;
}

std::string Unzipped(const std::string& archive, const std::string& member,
                     const std::string& workingDirectory) {
  const auto extract = RunProgram({"unzip", "-p", archive, member}, workingDirectory);
  EXPECT_EQ(extract.status, 0);
  return extract.output;
}

class QwkPacketArchiveTest : public testing::RunOnBoardTest {
 protected:
  PacketCharset charset_;  // bytes as stored
};

TEST(QwkPacketArchiveCommandTest, ListsEveryPartAfterTheArchive) {
  const std::string p = "/tmp/some where/Qwk/";
  const std::string id = "MYBBS";
  std::vector<std::string> expected = {"zip", "-m", "-j", "-k", p + id + ".qwk", "--"};
  for (const std::string& part : {std::string("messages.dat"), std::string("newfiles.dat"),
                                  id + ".ptr", std::string("control.dat"), std::string("door.id"),
                                  std::string("hello"), std::string("goodbye")}) {
    expected.push_back(p + part);  // one word, blank and all
  }
  EXPECT_EQ(PacketArchiveCommand(p, id), expected);
}

TEST(QwkPacketArchiveNamesTest, ArchiverTemporaryFiles) {
  for (const char* name : {"ziAb12Z9", "zi000000", "ziZZZZZZ"}) {
    EXPECT_TRUE(IsArchiverTemporary(name)) << name;
  }
  for (const char* name :
       {"zi-notes", "ziAb12Z", "ziAb12Z90", "ZiAb12Z9", "xiAb12Z9", "ziAb 2Z9", "zi", ""}) {
    EXPECT_FALSE(IsArchiverTemporary(name)) << name;
  }
}

// Stands for the archiver: writes the packet (its fifth word) and exits
// with `status`.
class PackingRunner final : public ProcessRunner {
 public:
  explicit PackingRunner(int status) : status_(status) {}
  int Run(const std::vector<std::string>& words, const ProcessOptions&) override {
    WriteFile(words.at(4), "PK");
    return status_;
  }

 private:
  int status_;
};

// The archiver is started through the run's process runner, hidden,
// without input and making files its owner's alone; its success alone does
// not make a packet.
TEST_F(QwkPacketArchiveTest, RunsTheArchiverThroughTheRunsProcessRunner) {
  Admin().SetConfig("packet-id", "mybbs");
  LogInUser();
  testing::RecordingProcessRunner runner;
  RunContext context{board_, log_, state_, context_.clock, runner};
  EXPECT_FALSE(BuildPacketArchive(context));
  ASSERT_EQ(runner.calls.size(), 1u);
  EXPECT_EQ(runner.calls[0].arguments, PacketArchiveCommand(state_.QwkPath, "mybbs"));
  EXPECT_TRUE(runner.calls[0].options.nullInput);
  EXPECT_TRUE(runner.calls[0].options.nullOutput);
  EXPECT_TRUE(runner.calls[0].options.ownerOnlyFiles);
  EXPECT_EQ(Log(), std::vector<std::string>{"There was a problem creating the QWK packet."});

  // With the packet made the step succeeds, unless the archiver failed.
  PackingRunner packing(0);
  RunContext packingContext{board_, log_, state_, context_.clock, packing};
  EXPECT_TRUE(BuildPacketArchive(packingContext));
  PackingRunner failing(12);
  RunContext failingContext{board_, log_, state_, context_.clock, failing};
  EXPECT_FALSE(BuildPacketArchive(failingContext));
}

// A link planted under the packet's name goes before the archiver runs:
// the caller's packet is never written through it.
TEST_F(QwkPacketArchiveTest, WhateverHasThePacketsNameGoesFirst) {
  OBRIX_SKIP_WITHOUT(testing::Need::kSymlinks);
  Admin().SetConfig("packet-id", "mybbs");
  LogInUser();
  WriteFile(dir_ / "elsewhere.qwk", "someone else's file");
  std::filesystem::create_symlink(dir_ / "elsewhere.qwk", Work("mybbs.qwk"));
  PackingRunner packing(0);
  RunContext context{board_, log_, state_, context_.clock, packing};
  EXPECT_TRUE(BuildPacketArchive(context));
  EXPECT_TRUE(IsPlainFile(Work("mybbs.qwk")));
  EXPECT_EQ(ReadFile(dir_ / "elsewhere.qwk"), "someone else's file");
}

TEST_F(QwkPacketArchiveTest, ZipsEveryPartUnderItsMsDosName) {
  auto& admin = Admin();
  admin.SetConfig("packet-id", "mybbs");
  admin.AddConference(0, "Main", 3, {});
  admin.AddArea(1, "Uploads", false);
  admin.AddFile(1, "NEW.ZIP", 1234, "new", FILETIME::FromTicks(0x01D0000000000000ULL));
  admin.SetVar(kUser, "IncludeNewFiles", "1");
  admin.PutServerFile("wc:\\disp\\hello1.bbs", "welcome");
  admin.PutServerFile("wc:\\disp\\goodbye.bbs", "bye");
  LogInUser();

  ASSERT_TRUE(QwkOpen(board_, context_.clock, state_.QwkPath, kUser, charset_));
  WriteFile(Work("mybbs.ptr"), "0,0\r\n");
  AddBulletins(context_, state_.QwkPath);
  WriteNewFilesList(context_, Work("newfiles.dat"), charset_);
  const std::vector<std::string> parts = {
      "messages.dat", "newfiles.dat", "mybbs.ptr", "control.dat", "door.id", "hello", "goodbye"};
  std::vector<std::string> contents;
  for (const std::string& part : parts) {
    ASSERT_TRUE(IsPlainFile(Work(part))) << part;
    contents.push_back(ReadFile(Work(part)));
  }

  ASSERT_TRUE(BuildPacketArchive(context_));
  const std::string packet = Work("mybbs.qwk");
  std::vector<std::string> upperNames;
  for (const std::string& part : parts) {
    std::string upper = part;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    upperNames.push_back(upper);
  }
  EXPECT_EQ(Members(packet, dir_.path()), upperNames);
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_FALSE(Exists(Work(parts[i]))) << parts[i];
    EXPECT_EQ(Unzipped(packet, upperNames[i], dir_.path()), contents[i]) << parts[i];
  }
  EXPECT_EQ(Log(), std::vector<std::string>{"Collecting new files: 1"});
}

TEST_F(QwkPacketArchiveTest, MissingOptionalPartsAreSkipped) {
  LogInUser();
  ASSERT_TRUE(QwkOpen(board_, context_.clock, state_.QwkPath, kUser, charset_));
  WriteFile(Work("OBRIX.ptr"), "");
  ASSERT_TRUE(BuildPacketArchive(context_));
  EXPECT_EQ(Members(Work("OBRIX.qwk"), dir_.path()),
            (std::vector<std::string>{"MESSAGES.DAT", "OBRIX.PTR", "CONTROL.DAT", "DOOR.ID"}));
  EXPECT_FALSE(Exists(Work("messages.dat")));
  EXPECT_FALSE(Exists(log_.path()));
}

TEST_F(QwkPacketArchiveTest, NothingToPackIsReported) {
  LogInUser();
  EXPECT_FALSE(BuildPacketArchive(context_));
  EXPECT_FALSE(Exists(Work("OBRIX.qwk")));
  EXPECT_EQ(Log(), std::vector<std::string>{"There was a problem creating the QWK packet."});
}

}  // namespace
}  // namespace obrix
