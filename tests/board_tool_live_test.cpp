// obrix-board on a live board, its commands run in process: refused input,
// deletes and edits that keep every walk right, the terminal's character
// set, escaped and machine-readable output, backups.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "base/version.h"
#include "board/sqlite/sqlite.h"
#include "download/message_selection.h"
#include "driver/run_sequence.h"
#include "support/test_board.h"
#include "support/tool_runner.h"
#include "tools/tool_commands.h"
#include "upload/qwk_upload.h"

namespace obrix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class BoardToolLiveTest : public OnBoardTest {
 protected:
  static constexpr int32_t kConference = 1;
  static constexpr const char* kUtf8 = "UTF-8";
  static constexpr const char* kAscii = "ANSI_X3.4-1968";
  const int32_t userId_ = test_.UserId(kUser);

  void SetUp() override { Admin().AddConference(kConference, "General", 3, {}); }

  // Runs the tool on the test's board in process, with `input` on its
  // standard input and the terminal's set `charset`.
  ToolResult Tool(std::vector<std::string> words, const std::string& input = "",
                  const std::string& charset = kUtf8) {
    words.insert(words.begin(), {"--board", test_.name()});
    return RunToolInProcess(words, input, charset);
  }
  std::string Ok(const std::vector<std::string>& words, const std::string& input = "",
                 const std::string& charset = kUtf8) {
    const ToolResult result = Tool(words, input, charset);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
  }
  nlohmann::json Json(const std::vector<std::string>& words) {
    return nlohmann::json::parse(Ok(words));
  }

  // The ids the user's download would take from the conference, in order.
  std::vector<int32_t> Walk() {
    ConferenceCursor cursor;
    ResetCursor(cursor);
    cursor.conference.number = kConference;
    MessageRecord record;
    std::vector<int32_t> ids;
    for (bool more = FirstMessage(board_, userId_, cursor, record); more;
         more = NextMessage(board_, userId_, cursor, record)) {
      ids.push_back(record.id);
    }
    return ids;
  }

  int64_t Scalar(const std::string& sql) {
    auto query = Admin().database().Prepare(sql);
    EXPECT_TRUE(query->Step()) << sql;
    return query->Int(0);
  }
};

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> cells(1);
  for (const char c : line) {
    if (c == separator) {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

struct Refused {
  std::vector<std::string> words;
  int status;
  std::string message;
};

TEST_P(BoardToolLiveTest, RefusesWhatWouldBreakTheDoorWithOneLineNamingWhy) {
  const int32_t id = Post(kConference, kOther, kUser);
  Admin().Attach(id, "bytes");
  Admin().AddArea(1, "Uploads", false);
  Admin().AddFile(1, "GAME.ZIP", 10, "A game", FILETIME::FromTicks(1));
  const std::string elsewhere = dir_ / "new.db";
  WriteFile(dir_ / "taken.db", "x");
  std::vector<Refused> cases = {
      {{"user", "add", "Jo/Smith", "--password", "pw"}, 1, "may not hold \"/\""},
      {{"user", "add", std::string(26, 'A'), "--password", "pw"}, 1, "longer than 25"},
      {{"user", "add", "Tab\tName", "--password", "pw"}, 1, "control characters"},
      {{"user", "add", "alice caller", "--password", "pw"}, 1, "ALICE CALLER already exists"},
      {{"user", "add", "Bob", "--password", "two words"}, 1, "one word"},
      {{"user", "passwd", kUser, ""}, 2, "must not be empty"},
      {{"user", "rename", kUser, kOther}, 1, "already exists"},
      {{"user", "add", " all ", "--password", "pw"}, 1, "ALL addresses every caller"},
      {{"user", "add", "Qmail", "--password", "pw"}, 1, "QMAIL is a control name"},
      {{"user", "rename", kUser, "tomcat"}, 1, "TOMCAT is a control name"},
      {{"user", "rename", kUser, "ALL"}, 1, "no user may be named so"},
      {{"user", "delete", "default"}, 1, "cannot be deleted"},
      {{"var", "set", "DEFAULT", "MaxMsgPerPacket", "abc"},
       1,
       "MaxMsgPerPacket must be a whole number from 0 to 2147483647, not \"abc\""},
      {{"var", "set", "DEFAULT", "IncludeNewFiles", "2"}, 1, "from 0 to 1, not \"2\""},
      {{"var", "set", "DEFAULT", "maxmsgperpacket", "5"}, 1, "did you mean MaxMsgPerPacket?"},
      {{"var", "unset", kUser, "MaxMsgPerConf"}, 1, "has no setting"},
      {{"config", "packet-limit", "0"}, 1, "packet-limit must be at least 1"},
      {{"config", "conf-limit", "-1"}, 1, "conf-limit must be at least 1"},
      {{"conf", "delete", "1"}, 1, "holds 1 messages; give --with-messages"},
      {{"conf", "set", "1"}, 2, "nothing to change"},
      {{"message", "delete", std::to_string(id), "999999"}, 1, "no message 999999"},
      {{"message", "edit", std::to_string(id), "--private", "--public"}, 2, "not both"},
      {{"messages", "--tsv", "--json"}, 2, "not both"},
      {{"var", "get", "EVIL\x1B[2J", "k"}, 1, "no user EVIL\\x1B[2J"},
      {{"area", "delete", "1"}, 1, "holds 1 files; give --with-files"},
      {{"file", "delete", "1", "GAME.TXT"}, 1, "no file GAME.TXT in file area 1"},
      {{"screen", "delete", "wc:\\conf(1)\\message(" + std::to_string(id) + ")\\attach"},
       1,
       "no screen"},
      {{"generate", "--board", elsewhere, "--messages", "5"}, 1, "no conferences to post to"},
      {{"generate", "--board", elsewhere, "--users", "1", "--to", "A/B"}, 1, "\"/\""},
      {{"--version", "user", "list"}, 2, "stands alone"},
  };
  if (backend() == board::Backend::kSqlite) {  // copies of the board file
    cases.push_back({{"backup", dir_ / "taken.db"}, 1, "already exists"});
    cases.push_back({{"restore", dir_ / "taken.db"}, 1, "not a board"});
  }
  for (const Refused& c : cases) {
    const ToolResult result = Tool(c.words);
    EXPECT_EQ(result.status, c.status) << c.words[0] << " " << c.words[1] << ": " << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.message)) << c.words[0] << " " << c.words[1];
    EXPECT_EQ(result.err.rfind("obrix-board: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  }
  EXPECT_FALSE(Exists(elsewhere));
  EXPECT_EQ(Admin().ListFiles(1).size(), 1u);
  EXPECT_EQ(Scalar("SELECT count(*) FROM server_files"), 1);
  EXPECT_TRUE(Admin().Show(id).has_value());
  EXPECT_EQ(Admin().GetConfig("packet-limit"), "10000");
  EXPECT_EQ(Admin().GetVar("DEFAULT", "MaxMsgPerPacket"), std::nullopt);
}

TEST_P(BoardToolLiveTest, DeletesAndEditsKeepPointersAndWalksRight) {
  const int32_t m1 = Post(kConference, kOther, kUser, "one");
  const int32_t m2 = Post(kConference, kOther, kUser, "two");
  const int32_t m3 = Post(kConference, kOther, kUser, "three");
  const int32_t m4 = Post(kConference, kOther, kUser, "four");
  Admin().Attach(m3, "attached");
  Admin().SetLastRead(kUser, kConference, m2);
  Admin().SetLastRead(kOther, kConference, m3);

  Ok({"message", "delete", std::to_string(m2), std::to_string(m3)});
  EXPECT_EQ(Admin().GetLastRead(kUser, kConference), m1);
  EXPECT_EQ(Admin().GetLastRead(kOther, kConference), m1);
  EXPECT_EQ(Scalar("SELECT count(*) FROM server_files"), 0);
  LogIn();
  EXPECT_THAT(Walk(), ElementsAre(m4));  // after his pointer
  Admin().SetFlags(kUser, kConference, kSelectionUnread);
  EXPECT_THAT(Walk(), ElementsAre(m1, m4));  // his unread chain, past the gap

  WriteFile(dir_ / "text.txt",
            "Gr\xC3\xBC\xC3\x9F"
            "e\n");
  Ok({"message", "edit", std::to_string(m4), "--subject", "Neu \xC3\xA9", "--text-file",
      dir_ / "text.txt", "--private"});
  const auto edited = Admin().Show(m4);
  EXPECT_EQ(edited->subject, "Neu \xE9");
  EXPECT_EQ(edited->text,
            "Gr\xFC\xDF"
            "e\n");
  EXPECT_TRUE(edited->isPrivate);
  EXPECT_THAT(Walk(), ElementsAre(m1, m4));  // still his to read

  Ok({"user", "delete", "bob writer"});
  EXPECT_EQ(Admin().Show(m1)->from, kOther);
  EXPECT_EQ(Admin().Show(m1)->fromId, 0);
  EXPECT_EQ(Scalar("SELECT count(*) FROM last_read WHERE message_id <> 0 AND user_id NOT IN"
                   " (SELECT id FROM users)"),
            0);
  Ok({"conf", "delete", "1", "--with-messages"});
  EXPECT_TRUE(Admin().ListMessages(std::nullopt, std::nullopt).empty());
  EXPECT_EQ(Scalar("SELECT count(*) FROM last_read"), 0);
}

TEST_P(BoardToolLiveTest, TerminalTextRoundTripsAsWindows1252AndNamesWhatItCannotStore) {
  Ok({"user", "add",
      "Jos\xC3\xA9 N\xC3\xBA\xC3\xB1"
      "ez",
      "--password", "cl\xC3\xA9"});
  const std::string jose =
      "JOS\xC9 N\xDA\xD1"
      "EZ";  // upper-cased on the board's own set
  const int32_t joseId = Admin().UserId(jose);
  Ok({"post", "--conf", "1", "--from", kUser, "--to",
      "jos\xC3\xA9 n\xC3\xBA\xC3\xB1"
      "ez",
      "--subject", "Caf\xC3\xA9"},
     "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
     "e\n");
  const board::MessageSummary posted = Admin().ListMessages(kConference, std::nullopt).back();
  EXPECT_EQ(posted.toId, joseId);
  EXPECT_EQ(posted.subject, "Caf\xE9");
  EXPECT_EQ(Admin().Show(posted.id)->text,
            "Cr\xE8me br\xFBl\xE9"
            "e\n");
  EXPECT_THAT(Ok({"messages", "--tsv"}), HasSubstr("\tJOS\xC3\x89 N\xC3\x9A\xC3\x91"
                                                   "EZ\tCaf\xC3\xA9\t"));
  EXPECT_THAT(Ok({"show", std::to_string(posted.id)}),
              HasSubstr("\nCr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
                        "e\n"));
  EXPECT_EQ(Tool({"lastread", "undo",
                  "jos\xC3\xA9 n\xC3\xBA\xC3\xB1"
                  "ez"})
                .err,
            "obrix-board: JOS\xC3\x89 N\xC3\x9A\xC3\x91"
            "EZ has no download to undo\n");
  LogIn(jose, "cl\xE9");  // the door upper-cases his password as the tool did

  // A cp437 board (the default) cannot carry the A-tilde: a warning, not a refusal.
  const ToolResult joao = Tool({"user", "add", "Jo\xC3\xA3o", "--password", "pw"});
  EXPECT_EQ(joao.status, 0);
  EXPECT_THAT(joao.err, HasSubstr("warning: packets cannot carry the name JO\xC3\x83O exactly; "
                                  "readers see JO?O"));
  EXPECT_EQ(Tool({"user", "rename", "jo\xC3\xA3o", "Joan"}).err, "");
  EXPECT_THAT(Tool({"user", "rename", "joan", "Jo\xC3\xA3o"}).err, HasSubstr("JO?O"));
  Ok({"config", "charset", "windows-1252"});
  EXPECT_EQ(Tool({"user", "rename", "jo\xC3\xA3o", "Jo\xC3\xA3o Silva"}).err, "");

  const ToolResult polish = Tool({"user", "add", "\xC5\x81ukasz", "--password", "pw"});
  EXPECT_EQ(polish.status, 1);
  EXPECT_THAT(polish.err, HasSubstr("NAME: the character \"\xC5\x81\" (U+0141) is not in"));
  const ToolResult ascii = Tool({"user", "add", "Jos\xC3\xA9", "--password", "pw"}, "", kAscii);
  EXPECT_EQ(ascii.status, 1);
  EXPECT_THAT(ascii.err, HasSubstr("the byte 0xC3"));
  EXPECT_EQ(Admin().ListUsers().size(), 6u);  // two callers, sysop, DEFAULT, José, João
}

struct ScreenPutCase {
  const char* what;
  std::string file;  // the local file's bytes
  bool raw;
  const char* charset;  // the terminal's
  std::string stored;   // the server file's bytes; empty: refused, nothing stored
  const char* error;    // on refusal, part of the error line
};

TEST_P(BoardToolLiveTest, ScreenPutStoresTheLocalesTextAsTheBoardsBytes) {
  const std::string utf8 =
      "Caf\xC3\xA9 \xE2\x80\x93 \xE2\x80\x9C"
      "five\xE2\x80\x9D \xE2\x82\xAC\r\n";
  const std::string ansi = "\x1B[1;37m\xDB\xB2\xB1 \xE9\r\n\x1A";
  const ScreenPutCase cases[] = {
      {"UTF-8 text", utf8, false, kUtf8,
       "Caf\xE9 \x96 \x93"
       "five\x94 \x80\r\n",
       ""},
      {"--raw keeps UTF-8", utf8, true, kUtf8, utf8, ""},
      {"--raw keeps ANSI art", ansi, true, kUtf8, ansi, ""},
      {"a character Windows-1252 lacks", "one\r\ntwo\r\nleft \xE2\x86\x90\r\n", false, kUtf8, "",
       "hello.txt, line 3: the character \"\xE2\x86\x90\" (U+2190) is not in Windows-1252"},
      {"a byte that is not UTF-8", "one\n\xFF two\n", false, kUtf8, "",
       "hello.txt, line 2: the byte 0xFF"},
      {"an ASCII terminal", "Caf\xC3\xA9\n", false, kAscii, "", "hello.txt, line 1: the byte 0xC3"},
  };
  const std::string file = dir_ / "hello.txt";
  for (const ScreenPutCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(file, c.file);
    std::vector<std::string> words = {"screen", "put", "wc:\\disp\\hello1.bbs", file};
    if (c.raw) words.emplace_back("--raw");
    const ToolResult result = Tool(words, "", c.charset);
    std::string stored;
    if (Admin().ListScreens().size() == 1) {
      auto data = Admin().database().Prepare("SELECT data FROM server_files");
      EXPECT_TRUE(data->Step());
      stored = data->Text(0);
    }
    EXPECT_EQ(stored, c.stored);
    if (c.stored.empty()) {
      EXPECT_EQ(result.status, 1);
      EXPECT_THAT(result.err, HasSubstr(c.error));
    } else {
      EXPECT_EQ(result.status, 0) << result.err;
    }
    if (!stored.empty()) Admin().DeleteScreen("wc:\\disp\\hello1.bbs");
  }
}

TEST_P(BoardToolLiveTest, VarSetOfDefaultCountsTheUsersWhoKeepTheirOwnValue) {
  const struct {
    const char* user;  // whose own value is set first (nullptr: nobody's)
    const char* value;
    std::string said;  // by var set DEFAULT MaxMsgPerConf
  } steps[] = {
      {nullptr, nullptr, "No user has a value of his own of MaxMsgPerConf; each gets DEFAULT's"},
      {kOther, "", "No user has a value of his own"},  // an empty value is none
      {kUser, "7",
       "1 user keeps his own value of MaxMsgPerConf; 'obrix-board var "
       "apply-defaults' gives every user all of DEFAULT's settings\n"},
      {kOther, "8", "2 users keep their own value"},
  };
  Admin().SetVar(kUser, "MaxMsgPerPacket", "9");  // another key's value counts not
  for (const auto& step : steps) {
    SCOPED_TRACE(step.said);
    if (step.user != nullptr) Admin().SetVar(step.user, "MaxMsgPerConf", step.value);
    EXPECT_THAT(Ok({"var", "set", "default", "MaxMsgPerConf", "50"}), HasSubstr(step.said));
  }
  EXPECT_EQ(Ok({"var", "set", kUser, "MaxMsgPerConf", "5"}), "");
  EXPECT_EQ(Admin().GetVar("DEFAULT", "MaxMsgPerConf"), "50");
}

TEST_P(BoardToolLiveTest, PacketKindTakesItsWordsInAnyCaseAndRefusesOthers) {
  const struct {
    const char* given;
    const char* stored;  // nullptr: refused, the value before kept
  } cases[] = {
      {"utf8", "utf8"},   {"QWKE", "qwke"}, {" Qwk ", "qwk"}, {"UTF8", "utf8"}, {"utf-8", nullptr},
      {"qwkeq", nullptr}, {"qw", nullptr},  {"", nullptr},    {"1", nullptr},
  };
  Ok({"var", "set", kUser, "PacketKind", "qwke"});
  std::string before = "qwke";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    const ToolResult result = Tool({"var", "set", kUser, "PacketKind", c.given});
    if (c.stored != nullptr) {
      EXPECT_EQ(result.status, 0) << result.err;
      before = c.stored;
    } else {
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.err, "obrix-board: PacketKind must be one of qwk, qwke or utf8, not \"" +
                                std::string(c.given) + "\"\n");
    }
    EXPECT_EQ(Admin().GetVar(kUser, "PacketKind"), before);
  }
  // A word setting lists as text, where a number setting lists as a number.
  Ok({"var", "set", kUser, "MaxMsgPerConf", "12"});
  EXPECT_EQ(Json({"var", "list", kUser, "--json"}), nlohmann::json::parse(R"([
      {"key": "MaxMsgPerConf", "value": 12}, {"key": "PacketKind", "value": "utf8"}])"));
}

TEST_P(BoardToolLiveTest, PeopleSeeControlBytesEscapedAndScriptsGetThemExact) {
  const std::string evil = "Hi\x1B]0;owned\x07";
  Ok({"post", "--conf", "1", "--from", kOther, "--to", kUser, "--subject", evil},
     "Line\x1B[2J\r\nNext\n");
  Ok({"--raw", "post", "--conf", "1", "--from", kOther, "--to", "ALL", "--subject", "A\x81\xE9"},
     "x");
  const std::string id = std::to_string(Admin().ListMessages(kConference, std::nullopt)[0].id);

  const std::string table = Ok({"messages"});
  EXPECT_THAT(table, HasSubstr("Hi\\x1B]0;owned\\x07"));
  EXPECT_THAT(table, HasSubstr("A\\x81\xC3\xA9"));
  EXPECT_THAT(table, Not(HasSubstr("\x1B")));
  EXPECT_THAT(Ok({"show", id}), HasSubstr("\nLine\\x1B[2J\r\nNext\n"));
  EXPECT_THAT(Ok({"messages"}, "", kAscii), HasSubstr("A\\x81\\xE9"));

  EXPECT_THAT(Ok({"messages", "--tsv"}), HasSubstr("\t" + evil + "\t"));
  EXPECT_THAT(Ok({"messages", "--tsv"}), HasSubstr("\tA\xC2\x81\xC3\xA9\t"));
  EXPECT_THAT(Ok({"--raw", "show", id}), HasSubstr("\nLine\x1B[2J\r\nNext\n"));
  const nlohmann::json listed = Json({"messages", "--json"});
  EXPECT_EQ(listed[0]["subject"], evil);
  EXPECT_EQ(listed[1]["subject"], "A\xC2\x81\xC3\xA9");
}

TEST_P(BoardToolLiveTest, ListingsReadBackAsJsonWithTheirDocumentedFields) {
  Admin().AddConference(2, "Sysop Only", 1, {kOther});
  Post(kConference, kOther, kUser, "public");
  Post(kConference, kOther, kUser, "private", /*isPrivate=*/true);
  Ok({"conf", "set", "2", "--name", "Staff", "--readers", "alice caller,bob writer", "--mode",
      "2"});
  const nlohmann::json conferences = Json({"conf", "list", "--json"});
  EXPECT_EQ(conferences[1], nlohmann::json::parse(R"({"number": 2, "name": "Staff",
      "default_flags": 1, "messages": 0, "mode": 2, "readers": ["ALICE CALLER", "BOB WRITER"]})"));
  EXPECT_EQ(conferences[0]["readers"], nlohmann::json::array());

  Ok({"var", "set", "DEFAULT", "MaxMsgPerPacket", " 50 "});
  Admin().SetVar(kUser, "MaxMsgPerPacket", "7");
  EXPECT_EQ(Ok({"var", "apply-defaults", kUser}), "Copied DEFAULT's settings to 1 user\n");
  EXPECT_EQ(Json({"var", "list", kUser, "--json"}),
            nlohmann::json::parse(R"([{"key": "MaxMsgPerPacket", "value": 50}])"));
  Ok({"var", "unset", kUser, "MaxMsgPerPacket"});
  EXPECT_EQ(Admin().GetVar(kUser, "MaxMsgPerPacket"), std::nullopt);

  LogIn();
  board_.SetNodeActivity(kDownloadActivity);
  ActivityLog log(dir_ / "obrix.log");
  RunState state;
  state.QwkPath = dir_ / "";  // holds no reply packet: the upload records itself and stops
  state.UserId = userId_;
  RunContext context{board_, log, state};
  EXPECT_FALSE(QwkUpload(context));
  const nlohmann::json who = Json({"who", "--json"});
  ASSERT_EQ(who.size(), 1u);
  EXPECT_EQ(who[0]["user"], kUser);
  EXPECT_EQ(who[0]["activity"], kUploadActivity);
  EXPECT_TRUE(who[0]["last_download"].is_string());
  EXPECT_EQ(who[0]["last_upload"], who[0]["since"]);

  const nlohmann::json stats = Json({"stats", "--json"});
  EXPECT_EQ(stats["users"], 3);
  EXPECT_EQ(stats["messages"], 2);
  EXPECT_EQ(stats["private_percent"], 50.0);
  EXPECT_GT(stats["board_bytes"], 0);
  EXPECT_EQ(stats["conferences"][0]["private"], 1);
  EXPECT_TRUE(stats["conferences"][0]["newest"].is_string());
  EXPECT_TRUE(stats["conferences"][1]["newest"].is_null());
  nlohmann::json alice;
  for (const nlohmann::json& user : stats["users_activity"]) {
    if (user["user"] == kUser) alice = user;
  }
  EXPECT_EQ(alice["last_download"], who[0]["last_download"]);
  EXPECT_EQ(alice["last_upload"], who[0]["last_upload"]);
}

// Scripts know each column by one snake_case name: the tab-separated header
// is the JSON object's keys, in order, for every listing.
TEST_P(BoardToolLiveTest, EveryListingNamesItsColumnsAlikeInTsvAndJson) {
  const int32_t id = Post(kConference, kOther, kUser, "Hello", /*isPrivate=*/true);
  Admin().AddArea(1, "Uploads", false);
  Admin().AddFile(1, "GAME.ZIP", 10, "A game", FILETIME::FromTicks(1));
  Admin().PutServerFile("wc:\\disp\\hello1.bbs", "Hello");
  Admin().SetVar(kUser, "MaxMsgPerPacket", "7");
  LogIn();
  board_.SetNodeActivity(kDownloadActivity);
  const std::vector<std::vector<std::string>> listings = {{"user", "list"},
                                                          {"conf", "list"},
                                                          {"messages"},
                                                          {"area", "list"},
                                                          {"file", "list"},
                                                          {"screen", "list"},
                                                          {"var", "list", kUser},
                                                          {"who"},
                                                          {"config"},
                                                          {"show", std::to_string(id)}};
  for (std::vector<std::string> words : listings) {
    SCOPED_TRACE(words[0] + " " + words.back());
    words.push_back("--tsv");
    std::istringstream tsv(Ok(words));
    words.back() = "--json";
    nlohmann::ordered_json rows = nlohmann::ordered_json::parse(Ok(words));
    if (!rows.is_array()) rows = nlohmann::ordered_json::array({rows});
    ASSERT_FALSE(rows.empty());
    std::vector<std::string> keys;
    for (const auto& item : rows[0].items()) keys.push_back(item.key());
    std::string line;
    std::getline(tsv, line);
    EXPECT_EQ(Split(line, '\t'), keys);
    for (const std::string& key : keys) EXPECT_THAT(key, MatchesPattern("[a-z]+(_[a-z]+)*"));
    size_t lines = 0;
    for (; std::getline(tsv, line); ++lines) EXPECT_EQ(Split(line, '\t').size(), keys.size());
    EXPECT_EQ(lines, rows.size());
  }

  // stats: one table whose section, item and key find each value in the
  // one JSON object.
  const nlohmann::json stats = Json({"stats", "--json"});
  std::istringstream tsv(Ok({"stats", "--tsv"}));
  std::string line;
  std::getline(tsv, line);
  EXPECT_EQ(line, "section\titem\tkey\tvalue");
  size_t found = 0;
  while (std::getline(tsv, line)) {
    const std::vector<std::string> cells = Split(line, '\t');
    ASSERT_EQ(cells.size(), 4u) << line;
    nlohmann::json value;
    if (cells[0] == "board") {
      value = stats.at(cells[2]);
    } else {
      for (const nlohmann::json& row : stats.at(cells[0])) {
        const nlohmann::json& item = row.contains("number") ? row["number"] : row["user"];
        if ((item.is_number() ? std::to_string(item.get<int>()) : item.get<std::string>()) ==
            cells[1]) {
          value = row.at(cells[2]);
        }
      }
    }
    EXPECT_EQ(value.is_string() ? value.get<std::string>()
              : value.is_null() ? ""
                                : value.dump(),
              cells[3])
        << line;
    ++found;
  }
  EXPECT_GT(found, 5u);
}

// Numbers in the board's sense (ids, counts, the numeric settings) are JSON
// numbers; free text stays a string even when it is digits.
TEST_P(BoardToolLiveTest, NumbersComeOutAsJsonNumbersAndTextAsStrings) {
  Admin().SetVar(kUser, "MaxMsgPerConf", "12");
  Admin().SetVar(kUser, "Greeting", "007");
  Admin().SetVar(kUser, "IncludeNewFiles", "yes");  // stored before it was checked
  Ok({"config", "serial", "00000042"});
  EXPECT_EQ(Json({"var", "list", kUser, "--json"}), nlohmann::json::parse(R"([
      {"key": "Greeting", "value": "007"}, {"key": "IncludeNewFiles", "value": "yes"},
      {"key": "MaxMsgPerConf", "value": 12}])"));
  nlohmann::json config;
  for (const nlohmann::json& row : Json({"config", "--json"})) config[row["key"]] = row["value"];
  const std::string limit = Admin().GetConfig("packet-limit");
  EXPECT_EQ(config["packet-limit"], std::stoi(limit));
  EXPECT_EQ(config["node-timeout"], 30);
  EXPECT_EQ(config["serial"], "00000042");
  EXPECT_TRUE(config["name"].is_string());
  EXPECT_EQ(Json({"config", "packet-limit", "--json"}),
            nlohmann::json::parse(R"([{"key": "packet-limit", "value": )" + limit + "}]"));
  EXPECT_EQ(Ok({"config", "packet-limit", "--tsv"}), "key\tvalue\npacket-limit\t" + limit + "\n");
}

TEST_P(BoardToolLiveTest, FilesScreensReadersAndNamesChangeAsAsked) {
  Admin().AddArea(1, "Uploads", false);
  Admin().AddFile(1, "GAME.ZIP", 10, "A game", FILETIME::FromTicks(2));
  Admin().AddFile(1, "game.zip", 10, "Again", FILETIME::FromTicks(3));
  Admin().AddFile(1, "TOOL.ZIP", 20, "A tool", FILETIME::FromTicks(1));
  Admin().PutServerFile("wc:\\disp\\hello1.bbs", "Hello");
  EXPECT_EQ(Ok({"file", "delete", "1", "Game.Zip"}), "Deleted 2 entries of Game.Zip\n");
  nlohmann::json files = Json({"file", "list", "--json"});
  ASSERT_EQ(files.size(), 1u);
  EXPECT_THAT(files[0]["date"].get<std::string>(), ::testing::StartsWith("1601-01-01T00:00:00"));
  files[0].erase("date");
  EXPECT_EQ(files, nlohmann::json::parse(R"([{"area": 1, "name": "TOOL.ZIP", "size": 20,
                "description": "A tool"}])"));
  Ok({"area", "delete", "1", "--with-files"});
  EXPECT_TRUE(Admin().ListAreas().empty());
  EXPECT_EQ(Ok({"screen", "list", "--tsv"}), "path\tsize\nwc:\\disp\\hello1.bbs\t5\n");
  Ok({"screen", "delete", "WC:\\DISP\\HELLO1.BBS"});
  EXPECT_EQ(Ok({"screen", "list"}), "No screens.\n");

  Admin().AddConference(2, "Staff", 3, {kOther});
  Ok({"conf", "set", "2", "--readers", ""});
  EXPECT_TRUE(Admin().ListConferences()[1].readers.empty());
  const int32_t id = Post(kConference, kOther, kUser);
  Ok({"user", "rename", "alice caller", "Alice Smith"});
  Ok({"user", "set", "ALICE SMITH", "--title", "Regular"});
  EXPECT_EQ(Admin().Show(id)->to, "ALICE SMITH");
  EXPECT_EQ(Admin().UserId("alice smith"), userId_);
  EXPECT_EQ(Admin().ListUsers()[userId_ - 1].title, "Regular");
}

TEST_F(BoardToolLiveTest, BackupIsTheCommittedBoardWhileAWriterIsMidwayAndRestoresIt) {
  const int32_t kept = Post(kConference, kOther, kUser, "kept");
  board::BoardAdmin writer = board::BoardAdmin::Open(test_.name());
  writer.BeginBulk();  // a node in the middle of a write
  board::PostRequest request;
  request.conference = kConference;
  request.from = kOther;
  request.to = kUser;
  request.subject = "uncommitted";
  writer.Post(request);
  Ok({"backup", dir_ / "copy.db"});
  writer.CommitBulk();
  EXPECT_EQ(Admin().ListMessages(kConference, std::nullopt).size(), 2u);

  const auto copied = board::BoardAdmin::Open(dir_ / "copy.db").ListMessages(kConference, {});
  ASSERT_EQ(copied.size(), 1u);
  EXPECT_EQ(copied[0].id, kept);
  EXPECT_THAT(Tool({"restore", dir_ / "copy.db"}).err, HasSubstr("in use"));  // the writer
  { board::BoardAdmin gone = std::move(writer); }
  test_.Close();
  Ok({"restore", dir_ / "copy.db"});
  EXPECT_EQ(Admin().ListMessages(kConference, std::nullopt).size(), 1u);
}

TEST_F(BoardToolLiveTest, RestoreChecksTheBackupFirstAndKeepsTheBoardItReplaces) {
  Post(kConference, kOther, kUser, "in the backup");
  const std::string good = dir_ / "good.db", damaged = dir_ / "damaged.db",
                    newer = dir_ / "newer.db", kept = test_.name() + ".before-restore";
  for (const std::string& copy : {good, damaged, newer}) Ok({"backup", copy});
  const int64_t page = Scalar("PRAGMA page_size");
  const int64_t root = Scalar("SELECT rootpage FROM sqlite_master WHERE name = 'messages'");
  std::string bytes = ReadFile(damaged);
  bytes.replace(static_cast<size_t>((root - 1) * page), static_cast<size_t>(page),
                std::string(static_cast<size_t>(page), '\x5A'));
  WriteFile(damaged, bytes);
  board::SqliteDatabase::Open(newer, false)
      ->Exec("UPDATE meta SET value = '99' WHERE key = 'schema_version'");
  Post(kConference, kOther, kUser, "after the backup");
  test_.Close();

  const std::vector<Refused> refused = {
      {{"restore", damaged}, 1, "is not a sound board, nothing was restored: Page "},
      {{"restore", newer}, 1, "schema version 99"},
  };
  for (const Refused& c : refused) {
    const ToolResult result = Tool(c.words);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.message));
  }
  {
    auto node = test_.LogIn();
    EXPECT_THAT(Tool({"restore", good}).err, HasSubstr("in use by a node"));
  }
  EXPECT_FALSE(Exists(kept));
  EXPECT_EQ(test_.Subjects(), (std::vector<std::string>{"in the backup", "after the backup"}));
  test_.Close();

  EXPECT_THAT(Ok({"restore", good}), HasSubstr("the board it replaced is kept as " + kept));
  EXPECT_EQ(test_.Subjects(), std::vector<std::string>{"in the backup"});
  ASSERT_TRUE(Exists(kept));
  if (MissingReason(Need::kFileModes).empty()) {
    EXPECT_EQ(FileMode(kept), 0600u);
  }
  EXPECT_EQ(board::BoardAdmin::Open(kept).ListMessages(std::nullopt, std::nullopt).size(), 2u);
  test_.Close();
  EXPECT_THAT(Tool({"restore", good}).err, HasSubstr("from an earlier restore"));
}

TEST_P(BoardToolLiveTest, DeletingAUserWhoHasDownloadedTakesHisDeliveryRecords) {
  const int32_t mail = Post(kConference, kOther, kUser);
  LogIn();
  board_.BeginBatch();
  board_.BeginDelivery("digest");
  ASSERT_TRUE(board_.SetLastRead(kConference, mail));
  MessageRecord record;
  ASSERT_TRUE(board_.vbGetMessageById(kConference, mail, record));
  ASSERT_TRUE(board_.vbMarkMessageRead(record));
  board_.CommitBatch();
  board_.FinishDelivery();
  const std::vector<std::string> tables = {"deliveries", "delivery_pointers", "delivery_messages"};
  for (const std::string& table : tables) {
    EXPECT_EQ(test_.Number("SELECT count(*) FROM " + table + " WHERE user_id = ?1", {userId_}), 1)
        << table;
  }

  Ok({"user", "delete", kUser});
  EXPECT_THAT(
      Admin().ListUsers(),
      Not(::testing::Contains(::testing::Field(&board::UserSummary::name, std::string(kUser)))));
  for (const std::string& table : tables) {
    EXPECT_EQ(test_.Number("SELECT count(*) FROM " + table), 0) << table;
  }
}

TEST_F(BoardToolLiveTest, BothProgramsPrintTheVersionWhenAskedAlone) {
  EXPECT_EQ(Tool({"--version"}).status, 2);  // not alone: --board came first
  const ToolResult alone = [] {
    std::ostringstream out;
    auto* const old = std::cout.rdbuf(out.rdbuf());
    const int status = tool::RunBoardTool({"--version"}, "UTF-8");
    std::cout.rdbuf(old);
    return ToolResult{status, out.str(), ""};
  }();
  EXPECT_EQ(alone.status, 0);
  EXPECT_EQ(alone.out, "Obrix version 1.0.239PR1\n");

  ActivityLog log(dir_ / "obrix.log");
  RunState state;
  RunContext context{board_, log, state};
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RunMain(context, "--version"), kExitOk);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string(version::kVersionLine) + "\n");
  EXPECT_FALSE(Exists(dir_ / "obrix.log"));
  EXPECT_EQ(RunMain(context, "--version /U X"), kExitCommandLine);
}

INSTANTIATE_TEST_SUITE_P(, BoardToolLiveTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
