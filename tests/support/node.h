// A node of the board: a folder with its own path to the obrix program (so
// that the work directory "Qwk" beside it is its own), run as a process
// with the board named in its environment; and the expected logs of its
// runs, of which a test states only the lines that differ.
#pragma once

#include <gmock/gmock.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/qwk_packet_reader.h"
#include "support/test_board.h"
#include "support/test_support.h"
#include "support/upload_test_support.h"

namespace obrix::testing {

inline constexpr const char* kDownload = "/DOWNLOAD";
inline constexpr const char* kUpload = "/UPLOAD";

// One run of the program.
struct Call {
  std::string operation = kDownload;
  std::string user = kUser;
  std::string password = kUserPassword;
  std::map<std::string, std::string> environment{};  // OBRIX_BOARD: the node's board unless given
  bool lowPriority = false;
  std::optional<unsigned> runAs{};
  // Words run before the program's own, such as a tracer and its switches.
  std::vector<std::string> wrapper{};
};

class Node {
 public:
  // A node in a folder of its own (or in `folder`, made when missing)
  // serving the board named `board` (a file's path or a database's URI).
  explicit Node(const std::string& board, const std::string& folder = "");

  const std::string& dir() const { return dir_; }
  // A file in the work directory, or the directory itself.
  std::string Work(const std::string& name = "") const;
  // The work directory's files, its lock file aside.
  std::vector<std::string> WorkFiles() const;
  // Packs `replies` as a reader does into the work directory (made when
  // missing): the archive "obrix.rep", the member "OBRIX.MSG".
  void WriteRep(const std::vector<TestReply>& replies) const;
  void WriteRep(const std::string& replyFile) const;
  // The packet a download left.
  QwkPacket Packet() const { return ReadQwkPacket(Work("OBRIX.qwk")); }

  ProcessResult Run(const Call& call = {}) const;
  Process Start(const Call& call = {}) const;

  // Every line of the node's log; none when there is no log.
  std::vector<std::string> Log() const;
  // The lines of the last run, from its banner on.
  std::vector<std::string> LastRun() const;

 private:
  std::optional<TempDir> own_;
  std::string dir_;
  std::string board_;
  std::string obrix_;
};

// A node and a board of its own (a board file beside the node, in one
// folder, or a database on the test server).
struct Site {
  explicit Site(const BoardSetup& setup = {}, board::Backend backend = board::Backend::kSqlite)
      : board(setup, backend, dir / "board.db") {}
  // With a copy of `model` as it is now.
  explicit Site(TestBoard& model) : board(model, dir / "board.db") {}

  TempDir dir;
  TestBoard board;
  Node node{board.name(), dir.path()};
};

using LineMatchers = std::vector<::testing::Matcher<std::string>>;

// The whole log of a run of `operation` by `user` that logs in: banner,
// connection and log-in, its start, `lines`, "... complete." (or "...
// failed." unless `succeeded`), the disconnection.
::testing::Matcher<std::vector<std::string>> IsRun(const std::string& operation,
                                                   const LineMatchers& lines, bool succeeded = true,
                                                   const std::string& user = kUser);
inline ::testing::Matcher<std::vector<std::string>> IsDownload(const LineMatchers& lines,
                                                               bool succeeded = true) {
  return IsRun(kDownload, lines, succeeded);
}
inline ::testing::Matcher<std::vector<std::string>> IsUpload(const LineMatchers& lines,
                                                             bool succeeded = true) {
  return IsRun(kUpload, lines, succeeded);
}

// The lines of a download's scan: its limits, the conference lines, the
// total, and what follows up to the closing line.
struct ScanLog {
  std::vector<std::string> conferences{};
  std::string total{};
  std::vector<std::string> after = {"Updating last read pointers..."};
  int packetLimit = 200;
  int conferenceLimit = 1000;
};
LineMatchers Scan(const ScanLog& scan);

// The subjects of a packet's messages, in packet order.
std::vector<std::string> Subjects(const QwkPacket& packet);

}  // namespace obrix::testing
