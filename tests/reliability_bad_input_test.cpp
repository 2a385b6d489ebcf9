// Bad inputs, run through the real program: reply files that lie about
// their blocks or are cut short, archives that are encrypted, damaged or a
// zip bomb, a board that is not a board or is locked by another node, and
// a work directory the program may not write. Each is posted or refused
// with a clear log line and the right exit status; none crashes or hangs,
// none posts anything twice, and a refused packet is kept.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "board/sqlite/sqlite.h"
#include "platform/staging.h"
#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TestReply Good(int n) {
  TestReply reply;
  reply.subject = "Good " + std::to_string(n);
  reply.text = "Text of good reply " + std::to_string(n) + "\n";
  return reply;
}

// A node of its own, with its own board of ten conferences.
struct BadInputSite : Site {
  BadInputSite() : Site({.conferences = 10}) {}
  std::string archive = node.Work("obrix.rep");
};

// A run of `operation` that waits 5 s for a busy work directory, against
// `boardPath` (the node's own board when empty), as `user`.
Call Job(const char* operation, const std::string& boardPath = "",
         std::optional<unsigned> user = std::nullopt) {
  Call call{.operation = operation, .environment = {{"OBRIX_LOCK_WAIT", "5"}}, .runAs = user};
  if (!boardPath.empty()) call.environment["OBRIX_BOARD"] = boardPath;
  return call;
}

// The log of a run that cannot open its board: the banner, then the
// attempt.
::testing::Matcher<std::vector<std::string>> NoConnection() {
  using ::testing::_;
  return ElementsAre(_, _, _, "Connecting to Wildcat...",
                     ::testing::StartsWith("Cannot open the board "),
                     "Unable to Connect to Wildcat");
}

std::string Cut(std::string bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

struct ReplyCase {
  std::string name;
  std::string replyFile;
  std::vector<std::string> posted;  // the subjects on the board afterwards
  std::string skipped;              // why one reply was skipped; empty: none was
};

std::vector<ReplyCase> ReplyCases() {
  std::vector<ReplyCase> cases;
  auto withBlocks = [](const std::string& subject, const std::string& blocks,
                       const std::string& text) {
    TestReply reply;
    reply.subject = subject;
    reply.blocks = blocks;
    reply.text = text;
    return reply;
  };
  cases.push_back({"Blocks of 0",
                   ReplyFile("OBRIX", {withBlocks("No text", "0", ""), Good(1)}),
                   {"No text", "Good 1"},
                   ""});
  cases.push_back({"negative Blocks",
                   ReplyFile("OBRIX", {withBlocks("No text", "-3", ""), Good(1)}),
                   {"No text", "Good 1"},
                   ""});
  // The text block that follows is then read as the next header, and
  // skipped: the reply after it is found again.
  cases.push_back({"Blocks of 0 before a text block",
                   ReplyFile("OBRIX", {withBlocks("Lying", "0", "XHello world"), Good(1)}),
                   {"Lying", "Good 1"},
                   "Type mismatch"});
  cases.push_back({"non-numeric Blocks",
                   ReplyFile("OBRIX", {Good(1), withBlocks("Bad", "abc", "text"), Good(2)}),
                   {"Good 1", "Good 2"},
                   "Type mismatch"});
  cases.push_back({"Blocks far beyond the end of the file",
                   ReplyFile("OBRIX", {Good(1), withBlocks("Huge", "999999", "text")}),
                   {"Good 1"},
                   "cut short"});
  TestReply letters = Good(2);
  letters.number = "abc";
  cases.push_back({"a Number of letters",
                   ReplyFile("OBRIX", {Good(1), letters, Good(3)}),
                   {"Good 1", "Good 3"},
                   "Type mismatch"});
  // Less than a block after the last reply: stray bytes.
  const std::string two = ReplyFile("OBRIX", {Good(1), Good(2)});
  cases.push_back({"cut in the middle of a header", Cut(two, 3 * 128 + 60), {"Good 1"}, ""});
  TestReply longer = Good(2);
  longer.text = std::string(300, 'l');  // three text blocks
  const std::string withLonger = ReplyFile("OBRIX", {Good(1), longer});
  cases.push_back({"cut in the middle of a text block",
                   Cut(withLonger, withLonger.size() - 170),
                   {"Good 1"},
                   "cut short"});
  // A DOS end-of-file mark after the last reply.
  cases.push_back({"one stray byte at the end", two + "\x1a", {"Good 1", "Good 2"}, ""});
  return cases;
}

// A reply that cannot be read is skipped and the upload goes on with the
// next one; the packet is then kept out of the pickup name (exit 5), and
// sent again it posts nothing twice.
TEST(ReliabilityBadInput, RepliesThatLieAboutTheirSizeArePostedOrSkipped) {
  for (const ReplyCase& reply : ReplyCases()) {
    SCOPED_TRACE(reply.name);
    BadInputSite site;
    site.node.WriteRep(reply.replyFile);
    const ProcessResult first = site.node.Run(Job(kUpload));
    EXPECT_EQ(first.output, "");
    EXPECT_EQ(site.board.Subjects(), reply.posted);
    const std::string countLine = reply.posted.size() == 1
                                      ? "1 reply uploaded."
                                      : std::to_string(reply.posted.size()) + " replies uploaded.";
    const std::vector<std::string> firstLog = site.node.LastRun();
    EXPECT_THAT(firstLog, Contains(countLine));
    EXPECT_FALSE(Exists(site.archive));
    if (reply.skipped.empty()) {
      EXPECT_EQ(first.status, 0);
      EXPECT_THAT(FolderNames(site.node.Work("kept")), ::testing::IsEmpty());
      continue;
    }
    EXPECT_EQ(first.status, 5);
    EXPECT_THAT(firstLog, Contains(AllOf(StartsWith("Skipping the reply at byte "),
                                         HasSubstr(reply.skipped))));
    EXPECT_THAT(firstLog, Contains("1 reply refused."));
    EXPECT_THAT(firstLog,
                Contains(StartsWith("Reply packet kept as " + site.node.Work("kept") + "/OBRIX-")));
    EXPECT_THAT(firstLog, Contains("Upload complete."));

    // Sent again, the packet skips the same reply and posts nothing twice.
    site.node.WriteRep(reply.replyFile);
    EXPECT_EQ(site.node.Run(Job(kUpload)).status, 5);
    EXPECT_THAT(site.node.LastRun(), Contains("Duplicate message to ALL"));
    EXPECT_EQ(site.board.Subjects(), reply.posted);
    EXPECT_THAT(FolderNames(site.node.Work()), ElementsAre("kept", "obrix.lock"));
    EXPECT_THAT(FolderNames(site.node.Work("kept")), ::testing::SizeIs(2));
  }
}

// Runs the upload of an archive that cannot be read, sent twice: both
// refuse it with `line`, post nothing and keep it out of the pickup name.
void ExpectRefusedArchive(BadInputSite& site, const ::testing::Matcher<std::string>& line) {
  const std::string archive = ReadFile(site.archive);
  for (size_t run = 1; run <= 2; ++run) {
    WriteFile(site.archive, archive);
    const ProcessResult outcome = site.node.Run(Job(kUpload));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, "");
    EXPECT_THAT(site.node.LastRun(), IsUpload({line, StartsWith("Reply packet kept as ")}, false));
    EXPECT_THAT(site.board.Subjects(), ::testing::IsEmpty());
    // The archive is kept, and nothing of it is left in the work directory.
    EXPECT_THAT(FolderNames(site.node.Work()), ElementsAre("kept", "obrix.lock"));
    EXPECT_THAT(FolderNames(site.node.Work("kept")), ::testing::SizeIs(run));
  }
}

TEST(ReliabilityBadInput, AZipBombIsStoppedByTheFileSizeLimit) {
  OBRIX_SKIP_WITHOUT(Need::kFileSizeLimit);
  BadInputSite site;
  // 200 MB of zeros as the reply member, compressed to a few hundred KB.
  {
    TempDir staging;
    const std::string member = staging / "OBRIX.MSG";
    { std::ofstream create(member, std::ios::binary); }
    std::filesystem::resize_file(member, 200u * 1000 * 1000);  // sparse: no disk used
    std::filesystem::create_directory(site.node.Work());
    const ProcessResult zipped =
        RunProgram({"zip", "-q", site.archive, "OBRIX.MSG"}, staging.path());
    ASSERT_EQ(zipped.status, 0) << zipped.output;
  }
  ASSERT_LT(std::filesystem::file_size(site.archive), 2u * 1000 * 1000);
  ExpectRefusedArchive(site, "There was a problem unzipping the .REP archive.");
}

TEST(ReliabilityBadInput, EncryptedOrDamagedArchivesAreRefusedWithoutAQuestion) {
  const std::string replyFile = ReplyFile("OBRIX", {Good(1), Good(2)});
  {
    SCOPED_TRACE("an encrypted reply member");
    BadInputSite site;
    TempDir staging;
    WriteFile(staging / "OBRIX.MSG", replyFile);
    std::filesystem::create_directory(site.node.Work());
    const ProcessResult zipped =
        RunProgram({"zip", "-q", "-P", "password", site.archive, "OBRIX.MSG"}, staging.path());
    ASSERT_EQ(zipped.status, 0) << zipped.output;
    // unzip is never left waiting for a password on the caller's line. The
    // wrong password is mostly found at once (the member is skipped); now
    // and then it passes the one-byte check of the old zip encryption and
    // the member fails to inflate instead.
    ExpectRefusedArchive(site, ::testing::AnyOf("Unable to open .REP file",
                                                "There was a problem unzipping the .REP archive."));
  }
  {
    SCOPED_TRACE("a damaged reply member");
    BadInputSite site;
    TestReply big = Good(1);
    for (int n = 0; n < 200; ++n) big.text += "line " + std::to_string(n * 7919 % 1009) + "\n";
    site.node.WriteRep({big});
    std::string bytes = ReadFile(site.archive);
    ASSERT_GT(bytes.size(), 400u);
    bytes[200] = static_cast<char>(bytes[200] ^ 0x5A);  // inside the compressed data
    WriteFile(site.archive, bytes);
    ExpectRefusedArchive(site, "There was a problem unzipping the .REP archive.");
  }
}

TEST(ReliabilityBadInput, AFileThatIsNotABoardIsLeftAsItWas) {
  BadInputSite site;
  site.node.WriteRep({Good(1)});
  // Another program's database, and an empty file.
  const std::string foreign = site.dir / "foreign.db";
  {
    const auto db = board::SqliteDatabase::Open(foreign, true);
    db->Exec(
        "CREATE TABLE settings (key TEXT, value TEXT); INSERT INTO settings VALUES ('a', 'b')");
  }
  const std::string empty = site.dir / "empty.db";
  WriteFile(empty, "");
  for (const std::string& path : {foreign, empty}) {
    SCOPED_TRACE(path);
    const std::string before = ReadFile(path);
    for (const char* operation : {kUpload, kDownload}) {
      const ProcessResult outcome = site.node.Run(Job(operation, path));
      EXPECT_EQ(outcome.status, 3);
      EXPECT_EQ(outcome.output, "");
      EXPECT_THAT(site.node.LastRun(), NoConnection());
    }
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_FALSE(Exists(path + "-wal"));
    EXPECT_FALSE(Exists(path + "-shm"));
  }
  EXPECT_TRUE(Exists(site.archive));
}

// Another connection to a board that holds its write lock (as a node in
// the middle of a long write does), and with `everything` its read lock
// too, until it goes.
class LockedBoard {
 public:
  LockedBoard(const std::string& path, bool everything)
      : db_(board::SqliteDatabase::Open(path, false)) {
    if (everything) db_->Exec("PRAGMA locking_mode=EXCLUSIVE");
    db_->Exec("BEGIN EXCLUSIVE");
    // A write, so that the exclusive locking mode takes the file itself.
    db_->Exec("UPDATE meta SET value = value WHERE key = 'name'");
  }
  ~LockedBoard() {
    try {
      db_->Exec("ROLLBACK");
    } catch (...) {
    }
  }

 private:
  std::unique_ptr<board::SqliteDatabase> db_;
};

TEST(ReliabilityBadInput, ALockedBoardFailsTheRunCleanlyAfterTheBusyWait) {
  BadInputSite writing;  // a node whose board is being written by another
  writing.node.WriteRep({Good(1), Good(2)});
  BadInputSite download;
  download.board.Post({.to = kUser, .subject = "Waiting mail"});
  BadInputSite closed;  // a node whose board may not even be read
  closed.node.WriteRep({Good(1)});
  closed.board.Close();

  ProcessResult upload;
  ProcessResult downloaded;
  ProcessResult unreadable;
  {
    LockedBoard lockedForWriting(writing.board.name(), false);
    LockedBoard lockedForDownload(download.board.name(), false);
    LockedBoard lockedWhole(closed.board.name(), true);
    // All at once: each waits out the board's busy timeout, then gives up.
    Process a = writing.node.Start(Job(kUpload));
    Process b = download.node.Start(Job(kDownload));
    Process c = closed.node.Start(Job(kUpload));
    upload = a.Finish(60);
    downloaded = b.Finish(60);
    unreadable = c.Finish(60);
  }

  EXPECT_EQ(upload.status, 1);
  EXPECT_EQ(upload.output, "");
  EXPECT_THAT(writing.node.LastRun(),
              Contains(AllOf(StartsWith("(QwkUpload) - Error #1000: "), HasSubstr("locked"))));
  EXPECT_THAT(writing.board.Subjects(), ::testing::IsEmpty());
  EXPECT_FALSE(Exists(writing.archive))  // kept for the sysop, not left for the next caller
      << ::testing::PrintToString(writing.node.LastRun());
  EXPECT_THAT(FolderNames(writing.node.Work("kept")), ::testing::SizeIs(1));

  EXPECT_EQ(downloaded.status, 1);
  EXPECT_EQ(downloaded.output, "");
  EXPECT_THAT(download.node.LastRun(), Contains(StartsWith("(QwkDownload) Error # 1000: ")));
  EXPECT_THAT(download.node.LastRun(), Contains("Download failed."));
  EXPECT_FALSE(Exists(download.node.Work("OBRIX.qwk")));
  EXPECT_EQ(download.board.Admin().GetLastRead(kUser, 1), 0);

  EXPECT_EQ(unreadable.status, 3);
  EXPECT_EQ(unreadable.output, "");
  EXPECT_THAT(closed.node.LastRun(), NoConnection());
  EXPECT_TRUE(Exists(closed.archive));

  // Once the other node is done, the same packets go through (the caller
  // sends his REP again).
  writing.node.WriteRep({Good(1), Good(2)});
  EXPECT_EQ(writing.node.Run(Job(kUpload)).status, 0);
  EXPECT_THAT(writing.board.Subjects(), ElementsAre("Good 1", "Good 2"));
  EXPECT_EQ(download.node.Run(Job(kDownload)).status, 0);
  EXPECT_TRUE(Exists(download.node.Work("OBRIX.qwk")));
  EXPECT_EQ(closed.node.Run(Job(kUpload)).status, 0);
}

// Runs as an ordinary user: root may write anywhere, whatever the folder's
// permission bits say, so a test run as root runs the program as "nobody"
// and hands it the node's files (the program itself, a link to the built
// one, stays as it is: anyone may run it).
std::optional<unsigned> UnprivilegedUser(const Site& site) {
  if (!RunningAsSuperuser()) return std::nullopt;
  constexpr unsigned kNobody = 65534;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(site.dir.path())) {
    if (entry.path().filename() == "obrix") continue;
    if (!GiveToUser(entry.path().string(), kNobody)) return std::nullopt;
  }
  if (!GiveToUser(site.dir.path(), kNobody)) return std::nullopt;
  return kNobody;
}

TEST(ReliabilityBadInput, AWorkDirectoryThatCannotBeWrittenFailsWithAClearLine) {
  OBRIX_SKIP_WITHOUT(Need::kFileModes);  // a read-only folder is an access list's matter
  for (const bool lockFileThere : {false, true}) {
    SCOPED_TRACE(lockFileThere ? "lock file left by an earlier run" : "no lock file");
    BadInputSite site;
    std::filesystem::create_directory(site.node.Work());
    if (lockFileThere) {
      WriteFile(site.node.Work("obrix.lock"), "");
      std::filesystem::permissions(site.node.Work("obrix.lock"), std::filesystem::perms::all);
    }
    const std::optional<unsigned> user = UnprivilegedUser(site);
    if (RunningAsSuperuser() && !user) GTEST_SKIP() << "cannot run the program as another user";
    const auto readOnly = [&](bool on) {
      std::filesystem::permissions(
          site.node.Work(), std::filesystem::perms::owner_write,
          on ? std::filesystem::perm_options::remove : std::filesystem::perm_options::add);
    };
    // A download would move a REP it found at the pickup name (and fail
    // there): it runs before the caller's REP is in place.
    readOnly(true);
    std::vector<std::string> before = FolderNames(site.node.Work());
    const ProcessResult download = site.node.Run(Job(kDownload, "", user));
    const std::vector<std::string> downloadLog = site.node.LastRun();
    EXPECT_EQ(FolderNames(site.node.Work()), before);
    readOnly(false);
    site.node.WriteRep({Good(1)});
    readOnly(true);
    before = FolderNames(site.node.Work());
    const ProcessResult upload = site.node.Run(Job(kUpload, "", user));
    const std::vector<std::string> uploadLog = site.node.LastRun();
    EXPECT_EQ(download.status, 1);
    EXPECT_EQ(download.output, "");
    EXPECT_EQ(upload.status, 1);
    EXPECT_EQ(upload.output, "");
    if (lockFileThere) {
      // The run gets in, and fails at the first file it must write there.
      EXPECT_THAT(downloadLog, Contains(StartsWith("(QwkDownload) Error # 70: ")));
      EXPECT_THAT(downloadLog, Contains("Download failed."));
      EXPECT_THAT(uploadLog, Contains(StartsWith("(QwkUpload) - Error #70: ")));
      EXPECT_THAT(uploadLog, Contains("Upload failed."));
    } else {
      // No lock file can be made: said as it is, not as a busy folder.
      for (const auto& log : {downloadLog, uploadLog}) {
        EXPECT_THAT(log, Contains(AllOf(StartsWith("Cannot use the work directory: "),
                                        HasSubstr("obrix.lock"))));
        EXPECT_THAT(log, Not(Contains("Work directory in use by another run.")));
      }
      EXPECT_THAT(downloadLog, Contains("Download Initialization Failed"));
      EXPECT_THAT(uploadLog, Contains("Upload Initialization Failed"));
    }
    EXPECT_THAT(site.board.Subjects(), ::testing::IsEmpty());
    EXPECT_EQ(FolderNames(site.node.Work()), before);
  }
}

}  // namespace
}  // namespace obrix::testing
