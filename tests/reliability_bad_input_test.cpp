// Bad inputs, run through the real program: reply files that lie about
// their blocks or are cut short, archives that are encrypted, damaged or a
// zip bomb, a board that is not a board or is locked by another node, and
// a work directory the program may not write. Each is posted or refused
// with a clear log line and the right exit status; none crashes or hangs,
// none posts anything twice, and a refused packet is kept.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "board/sqlite.h"
#include "support/reliability_support.h"
#include "support/upload_test_support.h"

namespace obrix::testing {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

TestReply Good(int n) {
  TestReply reply;
  reply.subject = "Good " + std::to_string(n);
  reply.text = "Text of good reply " + std::to_string(n) + "\n";
  return reply;
}

// One program folder with its work directory, and its own board.
struct Node {
  Node() {
    obrix = InstallObrix(dir.path());
    board = CreateTestBoard(dir.path(), 10);
    qwk = dir / "Qwk";
    archive = qwk + "/obrix.rep";
    std::filesystem::create_directory(qwk);
  }

  struct Outcome {
    int status = -2;
    std::string output;
    std::vector<std::string> log;  // this run's lines
  };

  BackgroundRun Start(const std::string& operation, const std::string& boardPath = "",
                      std::optional<uid_t> user = std::nullopt) {
    std::filesystem::remove(dir / "obrix.log");
    std::filesystem::remove(dir / "output.txt");
    BackgroundRun::Options options;
    options.environment = {{"OBRIX_BOARD", boardPath.empty() ? board : boardPath},
                           {"OBRIX_LOCK_WAIT", "5"}};
    options.outputPath = dir / "output.txt";
    options.user = user;
    const std::vector<std::string> argv =
        operation == "/UPLOAD"
            ? std::vector<std::string>{obrix, "/U", "John", "Doe", "/P", "secret", "/UPLOAD"}
            : std::vector<std::string>{obrix, "/U", "Jane", "Roe", "/P", "letmein", "/DOWNLOAD"};
    return BackgroundRun(argv, dir.path(), options);
  }

  Outcome Finish(BackgroundRun& run) {
    Outcome outcome;
    outcome.status = run.Wait(60);
    if (Exists(dir / "output.txt")) outcome.output = ReadFile(dir / "output.txt");
    if (Exists(dir / "obrix.log")) outcome.log = LogMessages(dir / "obrix.log");
    return outcome;
  }

  Outcome Run(const std::string& operation, const std::string& boardPath = "",
              std::optional<uid_t> user = std::nullopt) {
    BackgroundRun run = Start(operation, boardPath, user);
    return Finish(run);
  }

  void WriteRep(const std::string& replyFile) { ZipMembers(archive, {{"OBRIX.MSG", replyFile}}); }

  std::vector<std::string> Subjects() {
    std::vector<std::string> subjects;
    for (const board::MessageSummary& message : BoardMessages(board)) {
      subjects.push_back(message.subject);
    }
    return subjects;
  }

  TempDir dir;
  std::string obrix;
  std::string board;
  std::string qwk;
  std::string archive;
};

bool Has(const std::vector<std::string>& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

// The line that starts with `prefix`, or "" when there is none.
std::string LineStarting(const std::vector<std::string>& log, const std::string& prefix) {
  for (const std::string& line : log) {
    if (StartsWith(line, prefix)) return line;
  }
  return "";
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
    Node node;
    node.WriteRep(reply.replyFile);
    const Node::Outcome first = node.Run("/UPLOAD");
    EXPECT_EQ(first.output, "");
    EXPECT_EQ(node.Subjects(), reply.posted);
    const std::string countLine = reply.posted.size() == 1
                                      ? "1 reply uploaded."
                                      : std::to_string(reply.posted.size()) + " replies uploaded.";
    EXPECT_TRUE(Has(first.log, countLine));
    EXPECT_FALSE(Exists(node.archive));
    if (reply.skipped.empty()) {
      EXPECT_EQ(first.status, 0);
      EXPECT_TRUE(FolderNames(node.qwk + "/kept").empty());
      continue;
    }
    EXPECT_EQ(first.status, 5);
    EXPECT_NE(LineStarting(first.log, "Skipping the reply at byte ").find(reply.skipped),
              std::string::npos)
        << ::testing::PrintToString(first.log);
    EXPECT_TRUE(Has(first.log, "1 reply refused."));
    EXPECT_NE(LineStarting(first.log, "Reply packet kept as " + node.qwk + "/kept/OBRIX-"), "");
    EXPECT_TRUE(Has(first.log, "Upload complete."));

    // Sent again, the packet skips the same reply and posts nothing twice.
    node.WriteRep(reply.replyFile);
    const Node::Outcome second = node.Run("/UPLOAD");
    EXPECT_EQ(second.status, 5);
    EXPECT_TRUE(Has(second.log, "Duplicate message to ALL"));
    EXPECT_EQ(node.Subjects(), reply.posted);
    EXPECT_EQ(FolderNames(node.qwk), (std::vector<std::string>{"kept", "obrix.lock"}));
    EXPECT_EQ(FolderNames(node.qwk + "/kept").size(), 2u);
  }
}

// Runs the upload of an archive that cannot be read, sent twice: both
// refuse it with `line`, post nothing and keep it out of the pickup name.
void ExpectRefusedArchive(Node& node, const std::string& line) {
  const std::string archive = ReadFile(node.archive);
  for (size_t run = 1; run <= 2; ++run) {
    WriteFile(node.archive, archive);
    const Node::Outcome outcome = node.Run("/UPLOAD");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.output, "");
    EXPECT_TRUE(Has(outcome.log, line)) << ::testing::PrintToString(outcome.log);
    EXPECT_NE(LineStarting(outcome.log, "Reply packet kept as "), "");
    EXPECT_TRUE(Has(outcome.log, "Upload failed."));
    EXPECT_TRUE(node.Subjects().empty());
    // The archive is kept, and nothing of it is left in the work directory.
    EXPECT_EQ(FolderNames(node.qwk), (std::vector<std::string>{"kept", "obrix.lock"}));
    EXPECT_EQ(FolderNames(node.qwk + "/kept").size(), run);
  }
}

TEST(ReliabilityBadInput, AZipBombIsStoppedByTheFileSizeLimit) {
  Node node;
  // 200 MB of zeros as the reply member, compressed to a few hundred KB.
  {
    TempDir staging;
    const std::string member = staging / "OBRIX.MSG";
    { std::ofstream create(member, std::ios::binary); }
    std::filesystem::resize_file(member, 200u * 1000 * 1000);  // sparse: no disk used
    const ProcessResult zipped =
        RunProgram({ProgramOnPath("zip"), "-q", node.archive, "OBRIX.MSG"}, staging.path());
    ASSERT_EQ(zipped.status, 0) << zipped.output;
  }
  ASSERT_LT(std::filesystem::file_size(node.archive), 2u * 1000 * 1000);
  ExpectRefusedArchive(node, "There was a problem unzipping the .REP archive.");
}

TEST(ReliabilityBadInput, EncryptedOrDamagedArchivesAreRefusedWithoutAQuestion) {
  const std::string replyFile = ReplyFile("OBRIX", {Good(1), Good(2)});
  {
    SCOPED_TRACE("an encrypted reply member");
    Node node;
    TempDir staging;
    WriteFile(staging / "OBRIX.MSG", replyFile);
    const ProcessResult zipped = RunProgram(
        {ProgramOnPath("zip"), "-q", "-P", "password", node.archive, "OBRIX.MSG"}, staging.path());
    ASSERT_EQ(zipped.status, 0) << zipped.output;
    // unzip is never left waiting for a password on the caller's line.
    ExpectRefusedArchive(node, "Unable to open .REP file");
  }
  {
    SCOPED_TRACE("a damaged reply member");
    Node node;
    TestReply big = Good(1);
    for (int n = 0; n < 200; ++n) big.text += "line " + std::to_string(n * 7919 % 1009) + "\n";
    node.WriteRep(ReplyFile("OBRIX", {big}));
    std::string bytes = ReadFile(node.archive);
    ASSERT_GT(bytes.size(), 400u);
    bytes[200] = static_cast<char>(bytes[200] ^ 0x5A);  // inside the compressed data
    WriteFile(node.archive, bytes);
    ExpectRefusedArchive(node, "There was a problem unzipping the .REP archive.");
  }
}

TEST(ReliabilityBadInput, AFileThatIsNotABoardIsLeftAsItWas) {
  Node node;
  node.WriteRep(ReplyFile("OBRIX", {Good(1)}));
  // Another program's database, and an empty file.
  const std::string foreign = node.dir / "foreign.db";
  {
    board::Database db = board::Database::Open(foreign, true);
    db.Exec("CREATE TABLE settings (key TEXT, value TEXT); INSERT INTO settings VALUES ('a', 'b')");
  }
  const std::string empty = node.dir / "empty.db";
  WriteFile(empty, "");
  for (const std::string& path : {foreign, empty}) {
    SCOPED_TRACE(path);
    const std::string before = ReadFile(path);
    for (const char* operation : {"/UPLOAD", "/DOWNLOAD"}) {
      const Node::Outcome outcome = node.Run(operation, path);
      EXPECT_EQ(outcome.status, 3);
      EXPECT_EQ(outcome.output, "");
      ASSERT_FALSE(outcome.log.empty());
      EXPECT_EQ(outcome.log.back(), "Unable to Connect to Wildcat");
    }
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_FALSE(Exists(path + "-wal"));
    EXPECT_FALSE(Exists(path + "-shm"));
  }
  EXPECT_TRUE(Exists(node.archive));
}

// Another connection to a board that holds its write lock (as a node in
// the middle of a long write does), and with `everything` its read lock
// too, until it goes.
class LockedBoard {
 public:
  LockedBoard(const std::string& path, bool everything) : db_(board::Database::Open(path, false)) {
    if (everything) db_.Exec("PRAGMA locking_mode=EXCLUSIVE");
    db_.Exec("BEGIN EXCLUSIVE");
    // A write, so that the exclusive locking mode takes the file itself.
    db_.Exec("UPDATE meta SET value = value WHERE key = 'name'");
  }
  ~LockedBoard() {
    try {
      db_.Exec("ROLLBACK");
    } catch (...) {
    }
  }

 private:
  board::Database db_;
};

TEST(ReliabilityBadInput, ALockedBoardFailsTheRunCleanlyAfterTheBusyWait) {
  Node writing;  // a node whose board is being written by another
  writing.WriteRep(ReplyFile("OBRIX", {Good(1), Good(2)}));
  Node download;
  board::PostRequest waiting;
  waiting.conference = 1;
  waiting.from = "JOHN DOE";
  waiting.to = "JANE ROE";
  waiting.subject = "Waiting mail";
  waiting.text = "text";
  board::BoardAdmin::Open(download.board).Post(waiting);
  Node closed;  // a node whose board may not even be read
  closed.WriteRep(ReplyFile("OBRIX", {Good(1)}));

  Node::Outcome upload;
  Node::Outcome downloaded;
  Node::Outcome unreadable;
  {
    LockedBoard lockedForWriting(writing.board, false);
    LockedBoard lockedForDownload(download.board, false);
    LockedBoard lockedWhole(closed.board, true);
    // All at once: each waits out the board's busy timeout, then gives up.
    BackgroundRun a = writing.Start("/UPLOAD");
    BackgroundRun b = download.Start("/DOWNLOAD");
    BackgroundRun c = closed.Start("/UPLOAD");
    upload = writing.Finish(a);
    downloaded = download.Finish(b);
    unreadable = closed.Finish(c);
  }

  EXPECT_EQ(upload.status, 1);
  EXPECT_EQ(upload.output, "");
  EXPECT_NE(LineStarting(upload.log, "(QwkUpload) - Error #1000: "), "");
  EXPECT_NE(LineStarting(upload.log, "(QwkUpload) - Error #1000: ").find("locked"),
            std::string::npos);
  EXPECT_TRUE(writing.Subjects().empty());
  EXPECT_FALSE(Exists(writing.archive));  // kept for the sysop, not left for the next caller
  EXPECT_EQ(FolderNames(writing.qwk + "/kept").size(), 1u);

  EXPECT_EQ(downloaded.status, 1);
  EXPECT_EQ(downloaded.output, "");
  EXPECT_NE(LineStarting(downloaded.log, "(QwkDownload) Error # 1000: "), "");
  EXPECT_TRUE(Has(downloaded.log, "Download failed."));
  EXPECT_FALSE(Exists(download.qwk + "/OBRIX.qwk"));
  EXPECT_EQ(board::BoardAdmin::Open(download.board).GetLastRead("JANE ROE", 1), 0);

  EXPECT_EQ(unreadable.status, 3);
  EXPECT_EQ(unreadable.output, "");
  ASSERT_FALSE(unreadable.log.empty());
  EXPECT_EQ(unreadable.log.back(), "Unable to Connect to Wildcat");
  EXPECT_TRUE(Exists(closed.archive));

  // Once the other node is done, the same packets go through (the caller
  // sends his REP again).
  writing.WriteRep(ReplyFile("OBRIX", {Good(1), Good(2)}));
  EXPECT_EQ(writing.Run("/UPLOAD").status, 0);
  EXPECT_EQ(writing.Subjects(), (std::vector<std::string>{"Good 1", "Good 2"}));
  EXPECT_EQ(download.Run("/DOWNLOAD").status, 0);
  EXPECT_TRUE(Exists(download.qwk + "/OBRIX.qwk"));
  EXPECT_EQ(closed.Run("/UPLOAD").status, 0);
}

// Runs as an ordinary user: root may write anywhere, whatever the folder's
// permission bits say, so a test run as root runs the program as "nobody"
// and hands it the node's files.
std::optional<uid_t> UnprivilegedUser(const Node& node) {
  if (geteuid() != 0) return std::nullopt;
  constexpr uid_t kNobody = 65534;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(node.dir.path())) {
    if (lchown(entry.path().c_str(), kNobody, kNobody) != 0) return std::nullopt;
  }
  if (chown(node.dir.path().c_str(), kNobody, kNobody) != 0) return std::nullopt;
  return kNobody;
}

TEST(ReliabilityBadInput, AWorkDirectoryThatCannotBeWrittenFailsWithAClearLine) {
  for (const bool lockFileThere : {false, true}) {
    SCOPED_TRACE(lockFileThere ? "lock file left by an earlier run" : "no lock file");
    Node node;
    node.WriteRep(ReplyFile("OBRIX", {Good(1)}));
    if (lockFileThere) {
      WriteFile(node.qwk + "/obrix.lock", "");
      std::filesystem::permissions(node.qwk + "/obrix.lock", std::filesystem::perms::all);
    }
    const std::optional<uid_t> user = UnprivilegedUser(node);
    if (geteuid() == 0 && !user) GTEST_SKIP() << "cannot run the program as another user";
    std::filesystem::permissions(
        node.qwk, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                      std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                      std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const std::vector<std::string> before = FolderNames(node.qwk);

    const Node::Outcome download = node.Run("/DOWNLOAD", "", user);
    const Node::Outcome upload = node.Run("/UPLOAD", "", user);
    EXPECT_EQ(download.status, 1);
    EXPECT_EQ(download.output, "");
    EXPECT_EQ(upload.status, 1);
    EXPECT_EQ(upload.output, "");
    if (lockFileThere) {
      // The run gets in, and fails at the first file it must write there.
      EXPECT_NE(LineStarting(download.log, "(QwkDownload) Error # 70: "), "");
      EXPECT_TRUE(Has(download.log, "Download failed."));
      EXPECT_NE(LineStarting(upload.log, "(QwkUpload) - Error #70: "), "");
      EXPECT_TRUE(Has(upload.log, "Upload failed."));
    } else {
      // No lock file can be made: said as it is, not as a busy folder.
      for (const Node::Outcome& outcome : {download, upload}) {
        const std::string line = LineStarting(outcome.log, "Cannot use the work directory: ");
        EXPECT_NE(line.find("obrix.lock"), std::string::npos) << line;
        EXPECT_FALSE(Has(outcome.log, "Work directory in use by another run."));
      }
      EXPECT_TRUE(Has(download.log, "Download Initialization Failed"));
      EXPECT_TRUE(Has(upload.log, "Upload Initialization Failed"));
    }
    EXPECT_TRUE(node.Subjects().empty());
    EXPECT_EQ(FolderNames(node.qwk), before);
  }
}

}  // namespace
}  // namespace obrix::testing
