// A download killed at many points, from the log-in to the last receipt:
// afterwards either a complete packet exists and the caller's pointers,
// read marks and receipts all moved, or none of them moved. A later run
// then delivers everything once; when the killed run had moved them but
// not ended, the later run offers the same mail again.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "platform/files.h"
#include "support/qwk_packet_reader.h"
#include "support/reliability_support.h"

namespace obrix::testing {
namespace {

constexpr int32_t kConferences = 30;
constexpr int32_t kPerConference = 8;

// A board where ALICE has new mail in every conference: public messages,
// and messages to her, some private and some asking for a receipt.
struct DownloadBoard {
  TempDir dir;
  std::string path;
  int32_t alice = 0;
  int32_t messages = 0;
  int32_t toAlice = 0;
  int32_t receipts = 0;
};

const DownloadBoard& Template() {
  static DownloadBoard made;
  static const bool ready = [] {
    made.path = made.dir / "board.db";
    board::BoardAdmin::Create(made.path, board::BoardConfig{}, "");
    board::BoardAdmin admin = board::BoardAdmin::Open(made.path);
    made.alice = admin.AddUser("ALICE CALLER", "secret", "Caller");
    admin.AddUser("BOB WRITER", "other", "Writer");
    admin.SetVar("ALICE CALLER", "MaxMsgPerPacket", "1000");
    admin.SetVar("BOB WRITER", "MaxMsgPerPacket", "1000");
    admin.BeginBulk();
    for (int32_t conference = 0; conference < kConferences; ++conference) {
      admin.AddConference(conference, "Conference " + std::to_string(conference), 3, {});
      for (int32_t n = 0; n < kPerConference; ++n) {
        board::PostRequest post;
        post.conference = conference;
        post.from = "BOB WRITER";
        const bool toAlice = n % 2 == 1;
        post.to = toAlice ? "ALICE CALLER" : "ALL";
        post.isPrivate = toAlice && n % 4 == 1;
        post.receipt = toAlice && n != 7;
        post.subject = "C" + std::to_string(conference) + " M" + std::to_string(n);
        post.text = "Message " + std::to_string(n) + " of conference " +
                    std::to_string(conference) + "\n" + std::string(100 + 60 * n, 'm') + "\n";
        admin.Post(post);
        ++made.messages;
        if (toAlice) ++made.toAlice;
        if (post.receipt) ++made.receipts;
      }
    }
    admin.CommitBulk();
    return true;
  }();
  (void)ready;
  return made;
}

// zip writes a new archive as "zi" and six characters beside it.
bool IsArchiverTemporary(const std::string& name) {
  return name.size() == 8 && name.rfind("zi", 0) == 0 && name.find('.') == std::string::npos;
}

// How far the caller's state on the board has moved.
struct Moved {
  int64_t pointers = 0;  // conferences whose pointer is on their last message
  int64_t stored = 0;    // pointers stored at all, wherever they point
  int64_t read = 0;      // messages to her marked received
  int64_t receipts = 0;  // receipts posted

  bool finished = false;  // the delivery's run ended well

  bool None() const { return stored == 0 && read == 0 && receipts == 0; }
  bool All(const DownloadBoard& board) const {
    return pointers == kConferences && stored == kConferences && read == board.toAlice &&
           receipts == board.receipts;
  }
};

// One node with its own copy of the board.
struct Node {
  Node() {
    const DownloadBoard& model = Template();
    obrix = InstallObrix(dir.path());
    board = dir / "board.db";
    std::filesystem::copy_file(model.path, board);
    qwk = dir / "Qwk";
    packet = qwk + "/OBRIX.qwk";
    probe.emplace(board);
  }

  BackgroundRun StartDownload() {
    BackgroundRun::Options options;
    options.environment = {{"OBRIX_BOARD", board}};
    options.outputPath = dir / "output.txt";
    options.lowPriority = true;
    return BackgroundRun({obrix, "/U", "Alice", "Caller", "/P", "secret", "/DOWNLOAD"}, dir.path(),
                         options);
  }

  Moved Now() {
    const int64_t alice = Template().alice;
    Moved moved;
    moved.pointers = probe->Number(
        "SELECT count(*) FROM last_read l WHERE l.user_id = ?1 AND l.message_id = "
        "(SELECT max(id) FROM messages m WHERE m.conference = l.conference AND "
        "m.subject <> 'Return Receipt')",
        {alice});
    moved.stored = probe->Number("SELECT count(*) FROM last_read WHERE user_id = ?1", {alice});
    moved.read =
        probe->Number("SELECT count(*) FROM messages WHERE to_id = ?1 AND received = 1", {alice});
    moved.receipts =
        probe->Number("SELECT count(*) FROM messages WHERE subject = 'Return Receipt'");
    moved.finished =
        probe->Number("SELECT finished FROM deliveries WHERE user_id = ?1", {alice}) == 1;
    return moved;
  }

  int64_t MessagesSize() {
    std::error_code error;
    const auto size = std::filesystem::file_size(qwk + "/messages.dat", error);
    return error ? 0 : static_cast<int64_t>(size);
  }

  // The archiver's temporary file is there: the packet is being written.
  bool Zipping() {
    const std::vector<std::string> names = FolderNames(qwk);
    return std::any_of(names.begin(), names.end(), IsArchiverTemporary);
  }

  TempDir dir;
  std::string obrix;
  std::string board;
  std::string qwk;
  std::string packet;
  std::optional<BoardProbe> probe;
};

// A packet that holds all the caller's new mail.
void ExpectCompletePacket(const std::string& path) {
  const QwkPacket packet = ReadQwkPacket(path);
  std::set<std::string> subjects;
  for (const PacketMessage& message : packet.messages) subjects.insert(message.subject);
  EXPECT_EQ(packet.messages.size(), static_cast<size_t>(Template().messages));
  EXPECT_EQ(subjects.size(), static_cast<size_t>(Template().messages));
  EXPECT_TRUE(packet.Has("CONTROL.DAT"));
  EXPECT_TRUE(packet.Has("DOOR.ID"));
  EXPECT_TRUE(packet.Has("OBRIX.PTR"));
}

struct KillPoint {
  std::string name;
  std::function<bool(Node&)> reached;  // empty: kill at once
};

std::vector<KillPoint> KillPoints() {
  std::vector<KillPoint> points = {{"at the start", nullptr}};
  for (int64_t blocks : {2, 40, 150}) {
    points.push_back({"messages.dat at " + std::to_string(blocks) + " blocks",
                      [blocks](Node& node) { return node.MessagesSize() >= 128 * blocks; }});
  }
  points.push_back({"archiver writing", [](Node& node) { return node.Zipping(); }});
  points.push_back({"packet in place", [](Node& node) { return Exists(node.packet); }});
  for (int64_t k : {1, 2, 10, 20, 29}) {
    points.push_back({std::to_string(k) + " pointers stored",
                      [k](Node& node) { return node.Now().stored >= k; }});
  }
  for (int64_t k : {1, 60, 119}) {
    points.push_back({std::to_string(k) + " messages marked read",
                      [k](Node& node) { return node.Now().read >= k; }});
  }
  for (int64_t k : {1, 45, 89}) {
    points.push_back({std::to_string(k) + " receipts posted",
                      [k](Node& node) { return node.Now().receipts >= k; }});
  }
  return points;
}

TEST(ReliabilityKilledDownload, PointersReadMarksAndReceiptsMoveAllOrNothing) {
  const DownloadBoard& model = Template();
  int untouched = 0;
  int delivered = 0;
  for (const KillPoint& point : KillPoints()) {
    SCOPED_TRACE("killed at: " + point.name);
    Node node;
    {
      BackgroundRun run = node.StartDownload();
      if (point.reached) {
        EXPECT_TRUE(PollUntil(30, [&] { return !run.Running() || point.reached(node); }));
      }
      run.Kill();
    }
    const Moved after = node.Now();
    if (after.None()) {
      ++untouched;
      // A packet may be there, as it is built before anything moves: then
      // it is whole, or the empty file the archiver creates for a moment
      // to try the name before it renames its finished temporary file to
      // it. Either way the next download replaces it.
      if (Exists(node.packet) && PlainFileSize(node.packet) != 0) {
        ExpectCompletePacket(node.packet);
      }
    } else {
      ++delivered;
      EXPECT_TRUE(after.All(model))
          << "pointers " << after.pointers << " (" << after.stored << " stored), read "
          << after.read << ", receipts " << after.receipts;
      ASSERT_TRUE(Exists(node.packet));
      ExpectCompletePacket(node.packet);
    }

    // The next download finishes the work: everything delivered once. A
    // run killed after its pointers moved but before it ended did not hand
    // its packet over: its mail comes again.
    const bool packetDue = after.None() || !after.finished;
    {
      BackgroundRun again = node.StartDownload();
      EXPECT_EQ(again.Wait(30), 0);
    }
    EXPECT_TRUE(node.Now().All(model));
    if (packetDue) {
      ASSERT_TRUE(Exists(node.packet));
      ExpectCompletePacket(node.packet);
    } else {
      EXPECT_FALSE(Exists(node.packet));  // nothing new: the old packet went
    }
    EXPECT_EQ(ReadFile(node.dir / "output.txt"), "");
    // No part of a packet is left behind in the work directory; only the
    // temporary file of an archiver killed while writing may stay.
    std::vector<std::string> expected = {"obrix.lock"};
    if (packetDue) expected.insert(expected.begin(), "OBRIX.qwk");
    std::vector<std::string> left = FolderNames(node.qwk);
    left.erase(std::remove_if(left.begin(), left.end(), IsArchiverTemporary), left.end());
    EXPECT_EQ(left, expected);
  }
  EXPECT_GT(untouched, 0);
  EXPECT_GT(delivered, 0);
}

// A run killed after the archiver renamed its finished packet into place
// but before it deleted the parts leaves the parts, and a run killed while
// the archiver tried the packet's name leaves an empty packet: none of it
// reaches the next caller's packet, and his download clears it away.
TEST(ReliabilityKilledDownload, PartsLeftByAKilledRunNeverReachTheNextPacket) {
  Node node;
  std::filesystem::create_directory(node.qwk);
  const std::string leftover = "LEFT BY ALICE'S KILLED RUN";
  for (const char* part : {"messages.dat", "control.dat", "door.id", "OBRIX.ptr", "hello",
                           "goodbye", "newfiles.dat"}) {
    WriteFile(node.qwk + "/" + part, leftover);
  }
  WriteFile(node.packet, "");
  BackgroundRun::Options options;
  options.environment = {{"OBRIX_BOARD", node.board}};
  options.outputPath = node.dir / "output.txt";
  BackgroundRun bob({node.obrix, "/U", "Bob", "Writer", "/P", "other", "/DOWNLOAD"},
                    node.dir.path(), options);
  ASSERT_EQ(bob.Wait(30), 0);
  EXPECT_EQ(ReadFile(node.dir / "output.txt"), "");

  const QwkPacket packet = ReadQwkPacket(node.packet);
  EXPECT_EQ(packet.messages.size(), static_cast<size_t>(Template().messages));
  for (const auto& [member, bytes] : packet.files) {
    EXPECT_EQ(bytes.find(leftover), std::string::npos) << member;
  }
  // The board has no screens and BOB asks for no file list.
  EXPECT_FALSE(packet.Has("HELLO"));
  EXPECT_FALSE(packet.Has("GOODBYE"));
  EXPECT_FALSE(packet.Has("NEWFILES.DAT"));
  ASSERT_GE(packet.control.size(), 7u);
  EXPECT_EQ(packet.control[6], "BOB WRITER");
  EXPECT_EQ(FolderNames(node.qwk), (std::vector<std::string>{"OBRIX.qwk", "obrix.lock"}));
}

}  // namespace
}  // namespace obrix::testing
