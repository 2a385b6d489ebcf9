// A download killed at many points, from the log-in to the last receipt:
// afterwards either a complete packet exists and the caller's pointers,
// read marks and receipts all moved, or none of them moved. A later run
// then delivers everything once; when the killed run had moved them, the
// later run offers the same mail again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/node.h"

namespace obrix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int32_t kConferences = 30;
constexpr int32_t kPerConference = 8;

// A board where the caller has new mail in every conference: public
// messages, and messages to her, some private and some asking for a
// receipt.
struct DownloadBoard {
  explicit DownloadBoard(board::Backend backend) : board({}, backend) {}

  TestBoard board;
  int32_t user = board.UserId(kUser);
  int32_t messages = 0;
  int32_t toUser = 0;
  int32_t receipts = 0;
};

// The model of the boards of one kind, made once.
DownloadBoard& Model(board::Backend backend) {
  static std::map<board::Backend, DownloadBoard> boards;
  auto [it, added] = boards.try_emplace(backend, backend);
  DownloadBoard& made = it->second;
  if (added) {
    board::BoardAdmin& admin = made.board.Admin();
    admin.SetVar(kUser, "MaxMsgPerPacket", "1000");
    admin.SetVar(kOther, "MaxMsgPerPacket", "1000");
    admin.BeginBulk();
    for (int32_t conference = 0; conference < kConferences; ++conference) {
      made.board.AddConferences({conference});
      for (int32_t n = 0; n < kPerConference; ++n) {
        const bool toUser = n % 2 == 1;
        made.board.Post({.conference = conference,
                         .to = toUser ? kUser : "ALL",
                         .subject = "C" + std::to_string(conference) + " M" + std::to_string(n),
                         .isPrivate = toUser && n % 4 == 1,
                         .receipt = toUser && n != 7,
                         .text = "Message " + std::to_string(n) + " of conference " +
                                 std::to_string(conference) + "\n" +
                                 std::string(100 + 60 * n, 'm') + "\n"});
        ++made.messages;
        if (toUser) ++made.toUser;
        if (toUser && n != 7) ++made.receipts;
      }
    }
    admin.CommitBulk();
  }
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

  bool None() const { return stored == 0 && read == 0 && receipts == 0; }
  bool All(const DownloadBoard& model) const {
    return pointers == kConferences && stored == kConferences && read == model.toUser &&
           receipts == model.receipts;
  }
};

// One node with its own copy of the board.
struct KillSite : Site {
  explicit KillSite(board::Backend backend) : Site(Model(backend).board), model(Model(backend)) {}

  Process StartDownload() const { return node.Start({.lowPriority = true}); }

  Moved Now() {
    const int64_t user = model.user;
    Moved moved;
    moved.pointers = board.Number(
        "SELECT count(*) FROM last_read l WHERE l.user_id = ?1 AND l.message_id = "
        "(SELECT max(id) FROM messages m WHERE m.conference = l.conference AND "
        "m.subject <> 'Return Receipt')",
        {user});
    moved.stored = board.Number("SELECT count(*) FROM last_read WHERE user_id = ?1", {user});
    moved.read =
        board.Number("SELECT count(*) FROM messages WHERE to_id = ?1 AND received = 1", {user});
    moved.receipts = board.Number("SELECT count(*) FROM messages WHERE subject = 'Return Receipt'");
    return moved;
  }

  int64_t MessagesSize() const {
    std::error_code error;
    const auto size = std::filesystem::file_size(node.Work("messages.dat"), error);
    return error ? 0 : static_cast<int64_t>(size);
  }

  // The archiver's temporary file is there: the packet is being written.
  bool Zipping() const {
    const std::vector<std::string> names = FolderNames(node.Work());
    return std::any_of(names.begin(), names.end(), IsArchiverTemporary);
  }

  const DownloadBoard& model;
  std::string packet = node.Work("OBRIX.qwk");
};

// A packet that holds all the caller's new mail.
void ExpectCompletePacket(const KillSite& site) {
  const QwkPacket packet = ReadQwkPacket(site.packet);
  const std::vector<std::string> subjects = Subjects(packet);
  EXPECT_EQ(subjects.size(), static_cast<size_t>(site.model.messages));
  EXPECT_EQ(std::set<std::string>(subjects.begin(), subjects.end()).size(), subjects.size());
  EXPECT_TRUE(packet.Has("CONTROL.DAT"));
  EXPECT_TRUE(packet.Has("DOOR.ID"));
  EXPECT_TRUE(packet.Has("OBRIX.PTR"));
}

struct KillPoint {
  std::string name;
  std::function<bool(KillSite&)> reached;  // empty: kill at once
};

std::vector<KillPoint> KillPoints() {
  std::vector<KillPoint> points = {{"at the start", nullptr}};
  for (int64_t blocks : {2, 40, 150}) {
    points.push_back({"messages.dat at " + std::to_string(blocks) + " blocks",
                      [blocks](KillSite& site) { return site.MessagesSize() >= 128 * blocks; }});
  }
  points.push_back({"archiver writing", [](KillSite& site) { return site.Zipping(); }});
  points.push_back({"packet in place", [](KillSite& site) { return Exists(site.packet); }});
  for (int64_t k : {1, 2, 10, 20, 29}) {
    points.push_back({std::to_string(k) + " pointers stored",
                      [k](KillSite& site) { return site.Now().stored >= k; }});
  }
  for (int64_t k : {1, 60, 119}) {
    points.push_back({std::to_string(k) + " messages marked read",
                      [k](KillSite& site) { return site.Now().read >= k; }});
  }
  for (int64_t k : {1, 45, 89}) {
    points.push_back({std::to_string(k) + " receipts posted",
                      [k](KillSite& site) { return site.Now().receipts >= k; }});
  }
  return points;
}

using ReliabilityKilledDownload = BoardTest;

TEST_P(ReliabilityKilledDownload, PointersReadMarksAndReceiptsMoveAllOrNothing) {
  int untouched = 0;
  int delivered = 0;
  for (const KillPoint& point : KillPoints()) {
    SCOPED_TRACE("killed at: " + point.name);
    KillSite site(backend());
    {
      Process run = site.StartDownload();
      if (point.reached) {
        EXPECT_TRUE(PollUntil(30, [&] { return !run.Running() || point.reached(site); }));
      }
      run.Kill();
      site.board.AwaitOtherSessionsGone();
      EXPECT_EQ(run.Output(), "");
    }
    const Moved after = site.Now();
    if (after.None()) {
      ++untouched;
      // A packet may be there, as it is built before anything moves: then
      // it is whole, or the empty file the archiver creates for a moment
      // to try the name before it renames its finished temporary file to
      // it. Either way the next download replaces it.
      if (Exists(site.packet) && PlainFileSize(site.packet) != 0) {
        ExpectCompletePacket(site);
      }
    } else {
      ++delivered;
      EXPECT_TRUE(after.All(site.model))
          << "pointers " << after.pointers << " (" << after.stored << " stored), read "
          << after.read << ", receipts " << after.receipts;
      ASSERT_TRUE(Exists(site.packet));
      ExpectCompletePacket(site);
    }

    // The next download finishes the work: everything delivered once. A
    // killed run never handed its packet over, whether or not it had marked
    // it so: its mail comes again.
    {
      Process again = site.StartDownload();
      EXPECT_EQ(again.Wait(30), 0);
      EXPECT_EQ(again.Output(), "");
    }
    EXPECT_TRUE(site.Now().All(site.model));
    ASSERT_TRUE(Exists(site.packet));
    ExpectCompletePacket(site);
    // No part of a packet is left behind in the work directory; only the
    // temporary file of an archiver killed while writing may stay.
    std::vector<std::string> left = FolderNames(site.node.Work());
    left.erase(std::remove_if(left.begin(), left.end(), IsArchiverTemporary), left.end());
    EXPECT_THAT(left, ElementsAre("OBRIX.qwk", "obrix.lock"));
  }
  EXPECT_GT(untouched, 0);
  EXPECT_GT(delivered, 0);
}

// A run killed after the archiver renamed its finished packet into place
// but before it deleted the parts leaves the parts, and a run killed while
// the archiver tried the packet's name leaves an empty packet: none of it
// reaches the next caller's packet, and his download clears it away.
TEST_P(ReliabilityKilledDownload, PartsLeftByAKilledRunNeverReachTheNextPacket) {
  KillSite site(backend());
  std::filesystem::create_directory(site.node.Work());
  const std::string leftover = "LEFT BY ALICE'S KILLED RUN";
  for (const char* part : {"messages.dat", "control.dat", "door.id", "OBRIX.ptr", "hello",
                           "goodbye", "newfiles.dat"}) {
    WriteFile(site.node.Work(part), leftover);
  }
  WriteFile(site.packet, "");
  const ProcessResult bob = site.node.Run({.user = kOther, .password = kOtherPassword});
  ASSERT_EQ(bob.status, 0);
  EXPECT_EQ(bob.output, "");

  const QwkPacket packet = site.node.Packet();
  EXPECT_EQ(packet.messages.size(), static_cast<size_t>(site.model.messages));
  for (const auto& [member, bytes] : packet.files) {
    EXPECT_THAT(bytes, Not(HasSubstr(leftover))) << member;
  }
  // The board has no screens and the other caller asks for no file list.
  EXPECT_FALSE(packet.Has("HELLO"));
  EXPECT_FALSE(packet.Has("GOODBYE"));
  EXPECT_FALSE(packet.Has("NEWFILES.DAT"));
  ASSERT_GE(packet.control.size(), 7u);
  EXPECT_EQ(packet.control[6], kOther);
  EXPECT_THAT(FolderNames(site.node.Work()), ElementsAre("OBRIX.qwk", "obrix.lock"));
}

INSTANTIATE_TEST_SUITE_P(, ReliabilityKilledDownload, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
