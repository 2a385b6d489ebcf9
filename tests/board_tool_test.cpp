// obrix-board run as a process, as a sysop or his scripts would run it.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "admin/board_admin.h"
#include "board/board.h"
#include "support/test_support.h"
#include "tools/admin_demo.h"

namespace obrix::board {
namespace {

using obrix::testing::BoardBinary;
using obrix::testing::Exists;
using obrix::testing::ProcessResult;
using obrix::testing::RunProgram;
using obrix::testing::TempDir;
using obrix::testing::WriteFile;

// A table's text with every run of blanks made one blank, so that a row
// reads the same whatever the column widths.
std::string Squeezed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c != ' ' || out.empty() || out.back() != ' ') out += c;
  }
  return out;
}

class BoardToolTest : public ::testing::Test {
 protected:
  // Runs obrix-board on the test's board with the given words.
  ProcessResult Tool(std::vector<std::string> words, const std::string& input = "",
                     const std::map<std::string, std::string>& environment = {}) {
    words.insert(words.begin(), {BoardBinary(), "--board", board_});
    ProcessResult result = RunProgram(words, dir_.path(), environment, input);
    result.output = testing::TextOf(result.output);
    return result;
  }
  // As Tool, expecting success; returns the output.
  std::string Ok(const std::vector<std::string>& words, const std::string& input = "") {
    const ProcessResult result = Tool(words, input);
    EXPECT_EQ(result.status, 0) << result.output;
    return result.output;
  }
  // As Tool, expecting a failure with `status` and one error line.
  std::string Fails(int status, const std::vector<std::string>& words) {
    const ProcessResult result = Tool(words);
    EXPECT_EQ(result.status, status) << result.output;
    EXPECT_EQ(result.output.rfind("obrix-board: ", 0), 0u) << result.output;
    EXPECT_EQ(result.output.find('\n'), result.output.size() - 1) << result.output;
    return result.output;
  }
  void Init() { Ok({"init", "--sysop", "Pat Smith"}); }

  TempDir dir_;
  std::string board_ = dir_ / "board.db";
};

TEST_F(BoardToolTest, InitConfigUsersAndVariablesRoundTrip) {
  EXPECT_NE(Ok({"init", "--name", "Night Owl BBS", "--sysop", "Pat Smith", "--sysop-password",
                "s3cret", "--packet-id", "NIGHTOWL", "--city", "Springfield", "--phone", "555-0199",
                "--serial", "12345678"})
                .find("NIGHTOWL"),
            std::string::npos);
  EXPECT_EQ(Ok({"config", "name"}), "Night Owl BBS\n");
  EXPECT_EQ(Ok({"config", "sysop"}), "Pat Smith\n");
  EXPECT_EQ(Ok({"config", "serial"}), "12345678\n");
  Ok({"config", "conf-limit", "250"});
  const std::string all = Squeezed(Ok({"config"}));
  for (const char* line :
       {"\npacket-id NIGHTOWL\n", "\nconf-limit 250\n", "\ncity Springfield\n"}) {
    EXPECT_NE(all.find(line), std::string::npos) << all;
  }

  EXPECT_EQ(Ok({"var", "get", "DEFAULT", "MaxMsgPerPacket"}), "\n");
  Ok({"var", "set", "default", "MaxMsgPerPacket", "50"});
  Ok({"var", "set", "DEFAULT", "Greeting", " two  words ", "--force"});
  EXPECT_EQ(Ok({"var", "get", "Default", "MaxMsgPerPacket"}), "50\n");
  EXPECT_EQ(Ok({"var", "get", "DEFAULT", "Greeting"}), " two  words \n");

  Ok({"user", "add", "Jane Doe", "--password", "letmein", "--title", "Member"});
  Ok({"user", "newfiles", "jane doe", "2026-03-01 08:30"});
  Ok({"user", "passwd", "JANE DOE", "other"});
  const std::string users = Squeezed(Ok({"user", "list"}));
  EXPECT_NE(users.find("PAT SMITH"), std::string::npos) << users;
  EXPECT_NE(users.find("\n3 JANE DOE Member yes 2026-03-01 08:30\n"), std::string::npos) << users;

  BoardAdmin admin = BoardAdmin::Open(board_);
  EXPECT_EQ(admin.GetConfig("conf-limit"), "250");
  EXPECT_EQ(admin.GetVar("DEFAULT", "MaxMsgPerPacket"), "50");
  const auto list = admin.ListUsers();
  EXPECT_TRUE(list[0].canLogIn);
  EXPECT_EQ(list[0].name, "PAT SMITH");
}

TEST_F(BoardToolTest, ConferencesPostsAndTheMessageListRoundTrip) {
  Init();
  // No made-up city or phone reaches the callers' CONTROL.DAT.
  EXPECT_EQ(Ok({"config", "city"}) + Ok({"config", "phone"}), "\n\n");
  Ok({"user", "add", "Jane Doe", "--password", "letmein"});
  Ok({"conf", "add", "1", "General"});
  Ok({"conf", "add", "3", "Sysop Only", "--readers", "pat smith", "--default-flags", "0x1"});
  const std::string conferences = Squeezed(Ok({"conf", "list"}));
  EXPECT_NE(conferences.find("\n3 Sysop Only 1 0 0 PAT SMITH\n"), std::string::npos) << conferences;

  const std::string first = Ok(
      {"post", "--conf", "1", "--from", "pat smith", "--to", "jane doe", "--subject", "Hello Jane",
       "--private", "--receipt", "--reference", "77", "--date", "2026-02-03 04:05"},
      "Line one\nLine two\n");
  WriteFile(dir_ / "text.txt", "");
  const std::string second = Ok({"post", "--conf=1", "--from", "Far Away", "--to", "all",
                                 "--subject", "To everybody", "--text-file", "text.txt"});
  ASSERT_EQ(first.rfind("id ", 0), 0u);
  const std::string firstId = first.substr(3, first.find(' ', 3) - 3);
  const std::string secondId = second.substr(3, second.find(' ', 3) - 3);
  EXPECT_EQ(first, "id " + firstId + " number 1\n");
  EXPECT_EQ(second, "id " + secondId + " number 2\n");
  EXPECT_LT(std::stoi(firstId), std::stoi(secondId));

  const std::string tsv = Tool({"messages", "--conf", "1", "--tsv"}, "", {{"TZ", "UTC0"}}).output;
  EXPECT_EQ(
      tsv.substr(0, tsv.find('\n', tsv.find('\n') + 1) + 1),
      "id\tconference\tnumber\tfrom\tto\tsubject\tprivate\treceived\treceipt\treference\t"
      "date\n" +
          firstId +
          "\t1\t1\tPAT SMITH\tJANE DOE\tHello Jane\t1\t0\t1\t77\t2026-02-03T04:05:00+00:00\n");
  EXPECT_NE(tsv.find("\n" + secondId + "\t1\t2\tFar Away\tall\tTo everybody\t0\t0\t0\t0\t"),
            std::string::npos)
      << tsv;
  EXPECT_NE(Squeezed(Ok({"messages", "--conf", "1"})).find(" 77 2026-02-03 04:05\n"),
            std::string::npos);
  EXPECT_EQ(Ok({"messages", "--user", "JANE DOE", "--tsv"}).find("Far Away"), std::string::npos);

  const std::string shown = Ok({"show", firstId});
  EXPECT_NE(shown.find("From:       PAT SMITH"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Date:       2026-02-03 04:05"), std::string::npos) << shown;
  EXPECT_NE(shown.find("private, receipt requested"), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 19), "\nLine one\nLine two\n");

  BoardAdmin admin = BoardAdmin::Open(board_);
  EXPECT_EQ(admin.Show(std::stoi(firstId))->text, "Line one\nLine two\n");
  EXPECT_EQ(admin.Show(std::stoi(secondId))->text, "");
}

// The board keeps local times; scripts get them with the offset the zone
// had on that date (summer or winter), not today's.
TEST_F(BoardToolTest, ScriptsGetDatesInIso8601WithTheLocalOffsetOfTheirDay) {
  Init();
  Ok({"conf", "add", "1", "General"});
  for (const char* date : {"2026-07-01 12:00", "2026-12-08 07:15"}) {
    Ok({"post", "--conf", "1", "--from", "sysop", "--to", "all", "--subject", "Hi", "--date", date},
       "");
  }
  struct Zone {
    std::string tz;
    std::string summer;
    std::string winter;
  };
  for (const Zone& zone : std::vector<Zone>{
           {"CET-1CEST,M3.5.0,M10.5.0/3", "+02:00", "+01:00"},
           {"EST5EDT,M3.2.0,M11.1.0", "-04:00", "-05:00"},
           {"IST-5:30", "+05:30", "+05:30"},
           {"UTC0", "+00:00", "+00:00"},
       }) {
    const ProcessResult json = Tool({"messages", "--json"}, "", {{"TZ", zone.tz}});
    ASSERT_EQ(json.status, 0) << json.output;
    const nlohmann::json listed = nlohmann::json::parse(json.output);
    EXPECT_EQ(listed[0]["date"], "2026-07-01T12:00:00" + zone.summer) << zone.tz;
    EXPECT_EQ(listed[1]["date"], "2026-12-08T07:15:00" + zone.winter) << zone.tz;
  }
}

TEST_F(BoardToolTest, FlagsPointersFilesScreensAndAttachments) {
  Init();
  Ok({"conf", "add", "4", "Announcements"});
  EXPECT_EQ(Ok({"flags", "get", "pat smith", "4"}), "3\n");
  Ok({"flags", "set", "pat smith", "4", "0x83"});
  EXPECT_EQ(Ok({"flags", "get", "PAT SMITH", "4"}), "131\n");
  EXPECT_EQ(Ok({"lastread", "get", "pat smith", "4"}), "0\n");
  Ok({"lastread", "set", "pat smith", "4", "42"});
  EXPECT_EQ(Ok({"lastread", "get", "pat smith", "4"}), "42\n");
  Ok({"grant", "default", "0x0100001A", "8"});

  Ok({"area", "add", "1", "Uploads"});
  Ok({"area", "add", "2", "Private", "--exclude"});
  Ok({"file", "add", "1", "GAME.ZIP", "--size", "1024", "--desc", "A game", "--date",
      "2026-01-02 03:04"});
  EXPECT_NE(Squeezed(Ok({"area", "list"})).find("\n2 Private yes 0\n"), std::string::npos);

  WriteFile(dir_ / "hello.bbs", "Hello\r\n");
  Ok({"screen", "put", "wc:\\disp\\hello1.bbs", "hello.bbs"});
  const std::string id =
      Ok({"post", "--conf", "4", "--from", "Pat Smith", "--to", "ALL", "--subject", "Files"},
         "See attached.")
          .substr(3);
  WriteFile(dir_ / "patch.bin", std::string("\0\xFF\r\n", 4));
  Ok({"attach", id.substr(0, id.find(' ')), "patch.bin"});

  BoardAdmin admin = BoardAdmin::Open(board_);
  EXPECT_EQ(admin.GetFlags("PAT SMITH", 4), 0x83u);
  EXPECT_EQ(admin.GetLastRead("PAT SMITH", 4), 42);
  EXPECT_EQ(admin.ListAreas()[0].fileCount, 1);
  auto files =
      admin.database().Prepare("SELECT path_key, data FROM server_files ORDER BY path_key");
  ASSERT_TRUE(files->Step());
  EXPECT_EQ(files->Text(0), "WC:\\CONF(4)\\MESSAGE(" + id.substr(0, id.find(' ')) + ")\\ATTACH");
  EXPECT_EQ(files->Text(1), std::string("\0\xFF\r\n", 4));
  ASSERT_TRUE(files->Step());
  EXPECT_EQ(files->Text(0), "WC:\\DISP\\HELLO1.BBS");
  EXPECT_EQ(files->Text(1), "Hello\r\n");
  auto flags = admin.database().Prepare(
      "SELECT flags FROM object_flags WHERE object = 16777242 AND user_id = ?");
  flags->Bind(1, int64_t{admin.UserId("DEFAULT")});
  ASSERT_TRUE(flags->Step());
  EXPECT_EQ(flags->Int(0), 8);
}

TEST_F(BoardToolTest, BadInputGivesOneLineAndTheRightStatus) {
  // Usage errors: 2.
  Fails(2, {});
  Fails(2, {"frobnicate"});
  Fails(2, {"user"});
  Fails(2, {"user", "frobnicate", "X"});
  Fails(2, {"init", "--colour", "blue"});
  Fails(2, {"user", "add", "Jane"});  // no --password
  Fails(2, {"post", "--conf", "one", "--from", "a", "--to", "b", "--subject", "s"});
  Fails(2, {"user", "newfiles", "x", "yesterday"});
  Fails(2, {"flags", "set", "x", "1", "0x1FFFFFFFF"});
  Fails(2, {"config", "a", "b", "c"});
  EXPECT_FALSE(Exists(board_));

  // Refusals: 1, and never a half-made board.
  EXPECT_NE(Fails(1, {"config"}).find("no board"), std::string::npos);
  EXPECT_NE(Fails(1, {"init", "--packet-id", "TOO LONG ID"}).find("packet id"), std::string::npos);
  EXPECT_NE(Fails(1, {"init", "--sysop", " Rizivi "}).find("control name"), std::string::npos);
  EXPECT_FALSE(Exists(board_));
  Init();
  EXPECT_NE(Fails(1, {"init"}).find("already exists"), std::string::npos);
  EXPECT_NE(Fails(1, {"var", "get", "nobody", "x"}).find("no user NOBODY"), std::string::npos);
  Fails(1, {"config", "packet-id", "A.B"});
  Fails(1, {"conf", "add", "-1", "Negative"});
  Fails(1, {"post", "--conf", "9", "--from", "a", "--to", "b", "--subject", "s"});
  Fails(1, {"show", "12345"});
  Fails(1, {"screen", "put", "wc:\\disp\\x.bbs", "missing-file"});
  EXPECT_EQ(Ok({"config", "packet-id"}), "OBRIX\n");
}

TEST_F(BoardToolTest, HelpIsThereForTheToolAndEveryCommand) {
  const ProcessResult overview = RunProgram({BoardBinary(), "--help"}, dir_.path());
  EXPECT_EQ(overview.status, 0);
  const std::vector<std::vector<std::string>> commands = {{"init"},
                                                          {"config"},
                                                          {"user", "add"},
                                                          {"user", "passwd"},
                                                          {"user", "list"},
                                                          {"user", "newfiles"},
                                                          {"var", "get"},
                                                          {"var", "set"},
                                                          {"conf", "add"},
                                                          {"conf", "list"},
                                                          {"flags", "get"},
                                                          {"flags", "set"},
                                                          {"lastread", "get"},
                                                          {"lastread", "set"},
                                                          {"post"},
                                                          {"messages"},
                                                          {"show"},
                                                          {"area", "add"},
                                                          {"area", "list"},
                                                          {"file", "add"},
                                                          {"screen", "put"},
                                                          {"attach"},
                                                          {"grant"},
                                                          {"who"},
                                                          {"generate"},
                                                          {"demo"},
                                                          {"user", "delete"},
                                                          {"user", "rename"},
                                                          {"user", "set"},
                                                          {"var", "list"},
                                                          {"var", "unset"},
                                                          {"var", "apply-defaults"},
                                                          {"conf", "set"},
                                                          {"conf", "delete"},
                                                          {"message", "delete"},
                                                          {"message", "edit"},
                                                          {"area", "delete"},
                                                          {"file", "list"},
                                                          {"file", "delete"},
                                                          {"screen", "list"},
                                                          {"screen", "delete"},
                                                          {"stats"},
                                                          {"backup"},
                                                          {"restore"}};
  for (std::vector<std::string> words : commands) {
    std::string name;
    for (const std::string& word : words) name += (name.empty() ? "" : " ") + word;
    EXPECT_NE(overview.output.find("  " + name), std::string::npos) << name;
    words.push_back("--help");
    const std::string help = Ok(words);
    EXPECT_EQ(help.rfind("Usage: obrix-board [--board PATH] " + name, 0), 0u) << help;
  }
  EXPECT_FALSE(Exists(board_));
}

TEST_F(BoardToolTest, DemoMakesABoardTheDoorCanLogInTo) {
  const std::string summary = Ok({"demo"});
  EXPECT_NE(summary.find("DEMO CALLER, password DEMO"), std::string::npos) << summary;
  Fails(1, {"demo"});

  BoardAdmin admin = BoardAdmin::Open(board_);
  EXPECT_EQ(admin.GetConfig("packet-id"), kDemoPacketId);
  EXPECT_EQ(admin.GetFlags(kDemoCaller, 4), 1u);
  EXPECT_EQ(admin.GetVar("DEFAULT", "IncludeNewFiles"), "1");
  const auto conferences = admin.ListConferences();
  ASSERT_GE(conferences.size(), 5u);
  EXPECT_EQ(conferences[3].readers, std::vector<std::string>{"SYSOP"});

  const int32_t caller = admin.UserId(kDemoCaller);
  int toCaller = 0, privateToCaller = 0, privateFromCaller = 0, toAll = 0, receipts = 0;
  for (const MessageSummary& m : admin.ListMessages(std::nullopt, std::nullopt)) {
    toCaller += m.toId == caller;
    privateToCaller += m.toId == caller && m.isPrivate;
    privateFromCaller += m.fromId == caller && m.isPrivate;
    toAll += m.to == "ALL";
    receipts += m.toId == caller && m.receiptRequested;
  }
  EXPECT_GT(toCaller, 0);
  EXPECT_GT(privateToCaller, 0);
  EXPECT_GT(privateFromCaller, 0);
  EXPECT_GT(toAll, 100);
  EXPECT_EQ(receipts, 1);
  {
    auto attachments =
        admin.database().Prepare("SELECT count(*) FROM server_files WHERE message_id IS NOT NULL");
    ASSERT_TRUE(attachments->Step());
    EXPECT_EQ(attachments->Int(0), 1);
  }
  UserSummary user;
  for (const UserSummary& each : admin.ListUsers()) {
    if (each.id == caller) user = each;
  }
  ASSERT_FALSE(user.newFilesDate.IsZero());
  auto newFiles = admin.database().Prepare(
      "SELECT count(*) FROM files f JOIN file_areas a ON a.number = f.area"
      " WHERE a.exclude = 0 AND f.upload_time > ?");
  newFiles->Bind(1, static_cast<int64_t>(user.newFilesDate.Ticks()));
  ASSERT_TRUE(newFiles->Step());
  EXPECT_GT(newFiles->Int(0), 0);

  // The door's own log-in path accepts the demo caller's password.
  Board board;
  ASSERT_TRUE(board.vbWildcatServerConnect(board_.c_str()));
  ASSERT_TRUE(board.WildcatServerCreateContext());
  ASSERT_TRUE(board.LoginSystem());
  std::string name = kDemoCaller;
  UserRecord record;
  int32_t position = 0;
  ASSERT_TRUE(board.vbGetUserByName(name, record, position));
  ASSERT_TRUE(board.LogoutUser());
  EXPECT_FALSE(board.vbLoginUserEx(record.info.id, "WRONG", 0, "test", record));
  EXPECT_TRUE(board.vbLoginUserEx(record.info.id, kDemoCallerPassword, 0, "test", record));
  EXPECT_EQ(board.GetConferenceCount(), static_cast<int32_t>(conferences.back().number + 1));
}

TEST_F(BoardToolTest, GenerateMakesOrExtendsABoardTheSameWayForTheSameSeed) {
  const std::vector<std::string> words = {
      "generate", "--users", "3",          "--conferences", "2",   "--messages", "50", "--max-size",
      "120",      "--to",    "Bench User", "--to-share",    "0.5", "--seed",     "3"};
  const std::string report = Ok(words);
  EXPECT_NE(report.find("Added 4 users, 2 conferences and 50 messages"), std::string::npos)
      << report;
  EXPECT_EQ(report.find('\r'), std::string::npos);  // no progress line off a terminal
  const std::string listed = Ok({"messages", "--tsv"});

  const std::string other = board_;
  board_ = dir_ / "other.db";
  Ok(words);
  EXPECT_EQ(Ok({"messages", "--tsv"}), listed);
  board_ = other;

  EXPECT_NE(Ok({"generate", "--messages", "10", "--seed", "4"})
                .find("Added 0 users, 0 conferences and 10 messages"),
            std::string::npos);
  BoardAdmin admin = BoardAdmin::Open(board_);
  EXPECT_EQ(admin.ListMessages(std::nullopt, std::nullopt).size(), 60u);
  EXPECT_GT(admin.ListMessages(std::nullopt, std::string("bench user")).size(), 0u);

  Fails(2, {"generate", "--to-share", "0.5"});
  Fails(1, {"generate", "--messages", "5", "--min-size", "10", "--max-size", "5"});
}

TEST(BoardToolDefault, TheBoardComesFromTheEnvironment) {
  TempDir dir;
  const std::string board = dir / "env.db";
  const ProcessResult made = RunProgram({BoardBinary(), "init", "--name", "From Env"}, dir.path(),
                                        {{"OBRIX_BOARD", board}});
  EXPECT_EQ(made.status, 0) << made.output;
  EXPECT_EQ(BoardAdmin::Open(board).GetConfig("name"), "From Env");
}

}  // namespace
}  // namespace obrix::board
