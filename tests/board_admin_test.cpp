// The sysop's side of the board, against real board files in a temporary
// folder.
#include "admin/board_admin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "board/message_store.h"
#include "board/schema.h"
#include "board/sqlite/sqlite.h"
#include "support/postgres_server.h"
#include "support/test_board.h"
#include "support/test_support.h"
#include "tools/admin_generate.h"

namespace obrix::board {
namespace {

using obrix::testing::Exists;
using obrix::testing::ReadFile;
using obrix::testing::TempDir;
using obrix::testing::WriteFile;

// The reason an action is refused with; fails the test when it is not.
template <typename Action>
std::string Refusal(Action action) {
  try {
    action();
  } catch (const std::invalid_argument& refused) {
    return refused.what();
  }
  ADD_FAILURE() << "not refused";
  return {};
}

class BoardAdminTest : public testing::BoardTest {
 protected:
  void SetUp() override {
    BoardAdmin::Create(name_, BoardConfig{}, "");  // no hash to wait for
    admin_.emplace(BoardAdmin::Open(name_));
    admin_->SetHashCost(HashCost::kMinimum);
  }

  int64_t Scalar(const std::string& sql) {
    auto query = admin_->database().Prepare(sql);
    EXPECT_TRUE(query->Step()) << sql;
    return query->Int(0);
  }

  PostResult PostTo(int32_t conference, const std::string& to, const std::string& text) {
    PostRequest request;
    request.conference = conference;
    request.from = "Sysop";
    request.to = to;
    request.subject = "Subject";
    request.text = text;
    return admin_->Post(request);
  }

  TempDir dir_;
  // A new board file, or an empty database on the test server.
  std::string name_ = backend() == Backend::kPostgres ? testing::CreateTestDatabase()
                                                      : std::string(dir_ / "board.db");
  std::optional<BoardAdmin> admin_;
};

TEST(BoardAdminCreate, RefusesAnExistingFileAndLeavesItAlone) {
  TempDir dir;
  WriteFile(dir / "board.db", "precious");
  EXPECT_NE(Refusal([&] {
              BoardAdmin::Create(dir / "board.db", BoardConfig{}, "pw", HashCost::kMinimum);
            }).find("already exists"),
            std::string::npos);
  EXPECT_EQ(ReadFile(dir / "board.db"), "precious");
}

TEST(BoardAdminCreate, MakesAFileOnlyItsOwnerMayReadAndWrite) {
  TempDir dir;
  OBRIX_SKIP_WITHOUT(testing::Need::kFileModes);
  BoardAdmin::Create(dir / "board.db", BoardConfig{}, "pw", HashCost::kMinimum);
  EXPECT_EQ(testing::FileMode(dir / "board.db"), 0600u);
}

TEST(BoardAdminCreate, LeavesNothingBehindWhenItFails) {
  TempDir dir;
  BoardConfig bad;
  bad.packetId = "NOT OK";
  Refusal([&] { BoardAdmin::Create(dir / "a.db", bad, "pw", HashCost::kMinimum); });
  EXPECT_FALSE(Exists(dir / "a.db"));

  // A failure after the file is made: the journal cannot be written.
  ASSERT_TRUE(std::filesystem::create_directory(dir / "b.db-wal"));
  EXPECT_ANY_THROW(BoardAdmin::Create(dir / "b.db", BoardConfig{}, "pw", HashCost::kMinimum));
  EXPECT_FALSE(Exists(dir / "b.db"));
}

TEST(BoardAdminOpen, RefusesWhatIsNotABoardAndNeverCreates) {
  TempDir dir;
  EXPECT_NE(Refusal([&] { BoardAdmin::Open(dir / "missing.db"); }).find("no board"),
            std::string::npos);
  EXPECT_FALSE(Exists(dir / "missing.db"));

  WriteFile(dir / "text.db", "just some text, not a database at all............................");
  EXPECT_NE(Refusal([&] { BoardAdmin::Open(dir / "text.db"); }).find("not a board"),
            std::string::npos);

  {
    const auto other = SqliteDatabase::Open(dir / "other.db", true);
    other->Exec("CREATE TABLE notes (x TEXT)");
  }
  EXPECT_NE(Refusal([&] { BoardAdmin::Open(dir / "other.db"); }).find("not a board"),
            std::string::npos);

  BoardAdmin::Create(dir / "newer.db", BoardConfig{}, "");
  {
    const auto db = OpenDatabase(dir / "newer.db", false);
    db->Exec("UPDATE meta SET value = '" + std::to_string(kSchemaVersion + 1) +
             "' WHERE key = 'schema_version'");
  }
  EXPECT_NE(Refusal([&] { BoardAdmin::Open(dir / "newer.db"); }).find("schema version"),
            std::string::npos);
}

TEST_P(BoardAdminTest, ConfigurationIsStoredUnderItsKeysAndChecked) {
  const BoardConfig defaults;
  EXPECT_EQ(admin_->GetConfig("name"), defaults.name);
  EXPECT_EQ(admin_->GetConfig("packet-limit"), "10000");
  EXPECT_EQ(admin_->Config().size(), 12u);  // charset, max-message and node-timeout among them
  EXPECT_EQ(admin_->GetConfig("max-message"), "65536");
  EXPECT_EQ(admin_->GetConfig("node-timeout"), "30");

  admin_->SetConfig("packet-id", "Nite-O_1");
  admin_->SetConfig("version", " 610 ");
  admin_->SetConfig("packet-limit", " 1 ");
  EXPECT_EQ(Scalar("SELECT count(*) FROM meta WHERE key = 'packet-id' AND value = 'Nite-O_1'"), 1);
  EXPECT_EQ(admin_->GetConfig("version"), "610");
  EXPECT_EQ(admin_->GetConfig("packet-limit"), "1");
  Refusal([&] { admin_->SetConfig("packet-limit", "0"); });
  Refusal([&] { admin_->SetConfig("conf-limit", "-1"); });
  Refusal([&] { admin_->SetConfig("max-message", "0"); });
  Refusal([&] { admin_->SetConfig("node-timeout", "0"); });
  Refusal([&] { admin_->SetConfig("node-timeout", "86401"); });

  for (const char* bad : {"", "NINECHARS", "A B", "A.B", "A/B", "-d", "-", "-OBRIX",
                          "\xC4"
                          "B"}) {
    EXPECT_NE(Refusal([&] { admin_->SetConfig("packet-id", bad); }).find("packet id"),
              std::string::npos)
        << bad;
  }
  Refusal([&] { admin_->SetConfig("conf-limit", "12x"); });
  Refusal([&] { admin_->SetConfig("version", "99999999999"); });
  Refusal([&] { admin_->SetConfig("name", std::string(53, 'n')); });
  admin_->SetConfig("name", std::string(52, 'n'));
  Refusal([&] { admin_->SetConfig("sysop", std::string(29, 's')); });
  Refusal([&] { admin_->SetConfig("city", std::string(33, 'c')); });
  Refusal([&] { admin_->SetConfig("phone", std::string(29, 'p')); });
  Refusal([&] { admin_->SetConfig("serial", "123456789"); });
  Refusal([&] { admin_->SetConfig("colour", "blue"); });
  EXPECT_EQ(admin_->GetConfig("packet-id"), "Nite-O_1");
}

TEST_P(BoardAdminTest, AccountsAreUpperCaseFoundInAnyCaseAndHashed) {
  EXPECT_FALSE(admin_->ListUsers()[0].canLogIn);  // made without a password
  admin_->SetPassword("sysop", "Sesame");
  const auto users = admin_->ListUsers();
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].name, "SYSOP");
  EXPECT_TRUE(users[0].canLogIn);
  EXPECT_EQ(users[1].name, "DEFAULT");
  EXPECT_FALSE(users[1].canLogIn);
  EXPECT_EQ(Scalar("SELECT flags FROM object_flags WHERE object = 16777242 AND user_id = " +
                   std::to_string(users[0].id)),
            0xFFFFFFFFll);

  const int32_t id = admin_->AddUser("Jane Doe", "Tr0ub4dor", "Member");
  EXPECT_EQ(admin_->UserId("jANE dOE"), id);
  EXPECT_EQ(admin_->ListUsers().back().name, "JANE DOE");
  Refusal([&] { admin_->AddUser("jane doe", "x", ""); });
  Refusal([&] { admin_->AddUser("Title Too Long", "x", "Thirteen char"); });
  Refusal([&] { admin_->UserId("nobody"); });

  std::string stored;
  {
    auto hash = admin_->database().Prepare("SELECT password_hash FROM users WHERE id = ?");
    hash->Bind(1, int64_t{id});
    ASSERT_TRUE(hash->Step());
    stored = hash->Text(0);
  }
  EXPECT_EQ(stored.find("Tr0ub4dor"), std::string::npos);
  EXPECT_EQ(stored.find("TR0UB4DOR"), std::string::npos);
  EXPECT_TRUE(CheckPassword(stored, "tr0ub4dor"));
  EXPECT_FALSE(CheckPassword(stored, "Tr0ub4do"));
  EXPECT_FALSE(CheckPassword("", ""));

  admin_->SetPassword("jane doe", "Other");
  if (backend() == Backend::kSqlite) {
    admin_.reset();  // everything written through to the file
    for (const char* clear : {"Other", "OTHER", "Tr0ub4dor", "TR0UB4DOR", "Sesame", "SESAME"}) {
      EXPECT_EQ(ReadFile(name_).find(clear), std::string::npos) << clear;
    }
    admin_.emplace(BoardAdmin::Open(name_));
  }
  Refusal([&] { admin_->SetPassword("DEFAULT", "x"); });
}

TEST_P(BoardAdminTest, VariablesFlagsAndPointersArePerUser) {
  EXPECT_EQ(admin_->GetVar("default", "MaxMsgPerPacket"), std::nullopt);
  admin_->SetVar("default", "MaxMsgPerPacket", "50");
  admin_->SetVar("DEFAULT", "MaxMsgPerPacket", " 60");
  EXPECT_EQ(admin_->GetVar("Default", "MaxMsgPerPacket"), " 60");
  EXPECT_EQ(admin_->GetVar("sysop", "MaxMsgPerPacket"), std::nullopt);
  Refusal([&] { admin_->SetVar("nobody", "k", "v"); });

  admin_->AddConference(7, "Seven", 1, {});
  EXPECT_EQ(admin_->GetFlags("sysop", 7), 1u);
  admin_->SetFlags("sysop", 7, 0x83);
  admin_->SetFlags("sysop", 7, 0xFFFFFFF0u);
  EXPECT_EQ(admin_->GetFlags("SYSOP", 7), 0xFFFFFFF0u);
  EXPECT_EQ(admin_->GetFlags("default", 7), 1u);
  Refusal([&] { admin_->GetFlags("sysop", 8); });

  EXPECT_EQ(admin_->GetLastRead("sysop", 7), 0);
  admin_->SetLastRead("sysop", 7, 12);
  admin_->SetLastRead("sysop", 7, 15);
  EXPECT_EQ(admin_->GetLastRead("sysop", 7), 15);
  Refusal([&] { admin_->SetLastRead("sysop", 8, 1); });
}

TEST_P(BoardAdminTest, ConferencesAreCheckedAndMayBeRestricted) {
  admin_->AddUser("Reader", "pw", "");
  admin_->AddConference(0, "Main", 3, {});
  admin_->AddConference(99999, std::string(60, 'x'), 3, {});
  admin_->AddConference(5, "Club", 2, {"reader", "sysop"});
  Refusal([&] { admin_->AddConference(-1, "Negative", 3, {}); });
  Refusal([&] { admin_->AddConference(6, std::string(61, 'x'), 3, {}); });
  Refusal([&] { admin_->AddConference(5, "Again", 3, {}); });
  Refusal([&] { admin_->AddConference(9, "Ghosts", 3, {"casper"}); });

  const auto list = admin_->ListConferences();
  ASSERT_EQ(list.size(), 3u);  // the refused ones left nothing
  EXPECT_EQ(list[0].number, 0);
  EXPECT_TRUE(list[0].readers.empty());
  EXPECT_EQ(list[1].number, 5);
  EXPECT_EQ(list[1].defaultFlags, 2u);
  EXPECT_EQ(list[1].readers, (std::vector<std::string>{"READER", "SYSOP"}));
  EXPECT_EQ(list[2].number, 99999);
  EXPECT_EQ(Scalar("SELECT restricted FROM conferences WHERE number = 5"), 1);
  EXPECT_EQ(Scalar("SELECT restricted FROM conferences WHERE number = 0"), 0);
}

TEST_P(BoardAdminTest, PostAddressesUsersByIdAndKeepsOtherNamesAsTyped) {
  const int32_t jane = admin_->AddUser("Jane Doe", "pw", "Member");
  admin_->AddConference(1, "General", 3, {});

  PostRequest request;
  request.conference = 1;
  request.from = "jane doe";
  request.to = "sysop";
  request.subject = "Hello";
  request.isPrivate = true;
  request.receipt = true;
  request.reference = 4711;
  request.date = ParseBoardDate("2024-03-05 14:07");
  const std::string bytes("line one\nline two\r\n\xE9t\xE9\0end", 27);
  request.text = bytes;
  const PostResult toUser = admin_->Post(request);

  request.from = "Someone Far Away";
  request.to = "all";
  request.isPrivate = false;
  request.receipt = false;
  request.reference = 0;
  request.date.reset();
  request.text = "";
  const PostResult toAll = admin_->Post(request);

  const auto first = admin_->Show(toUser.id);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->from, "JANE DOE");
  EXPECT_EQ(first->fromId, jane);
  EXPECT_EQ(first->to, "SYSOP");
  EXPECT_EQ(first->toId, admin_->UserId("SYSOP"));
  EXPECT_TRUE(first->isPrivate);
  EXPECT_TRUE(first->receiptRequested);
  EXPECT_FALSE(first->received);
  EXPECT_EQ(first->reference, 4711);
  EXPECT_EQ(first->messageTime, *ParseBoardDate("2024-03-05 14:07"));
  EXPECT_EQ(first->text, bytes);
  EXPECT_EQ(Scalar("SELECT count(*) FROM messages WHERE id = " + std::to_string(toUser.id) +
                   " AND from_title = 'Member'"),
            1);

  const auto second = admin_->Show(toAll.id);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->from, "Someone Far Away");
  EXPECT_EQ(second->fromId, 0);
  EXPECT_EQ(second->to, "all");
  EXPECT_EQ(second->toId, 0);
  EXPECT_EQ(second->text, "");
  EXPECT_FALSE(second->messageTime.IsZero());

  EXPECT_EQ(admin_->ListMessages(std::nullopt, std::string("Jane Doe")).size(), 1u);
  EXPECT_EQ(admin_->ListMessages(1, std::nullopt).size(), 2u);
  Refusal([&] { admin_->ListMessages(std::nullopt, std::string("nobody")); });
}

TEST_P(BoardAdminTest, IdsAndNumbersIncreaseAndAreNeverReused) {
  admin_->AddConference(1, "One", 3, {});
  admin_->AddConference(2, "Two", 3, {});
  const PostResult a = PostTo(1, "ALL", "a");
  const PostResult b = PostTo(2, "ALL", "b");
  const PostResult c = PostTo(1, "ALL", "c");
  EXPECT_LT(a.id, b.id);
  EXPECT_LT(b.id, c.id);
  EXPECT_EQ(a.number, 1);
  EXPECT_EQ(b.number, 1);
  EXPECT_EQ(c.number, 2);

  // A deleted last message leaves a gap in both.
  admin_->database().Exec("DELETE FROM messages WHERE id = " + std::to_string(c.id));
  const PostResult d = PostTo(1, "ALL", "d");
  EXPECT_GT(d.id, c.id);
  EXPECT_EQ(d.number, 3);

  const auto before = admin_->ListMessages(std::nullopt, std::nullopt).size();
  EXPECT_NE(Refusal([&] { PostTo(3, "ALL", "nowhere"); }).find("conference 3"), std::string::npos);
  EXPECT_EQ(admin_->ListMessages(std::nullopt, std::nullopt).size(), before);
}

TEST_P(BoardAdminTest, ServerFilesAreKeyedByTheirUpperCasePath) {
  admin_->AddConference(3, "Three", 3, {});
  const PostResult posted = PostTo(3, "ALL", "see attachment");
  admin_->Attach(posted.id, std::string("\0\1binary", 8));
  admin_->PutServerFile("wc:\\disp\\Hello1.bbs", "old");
  admin_->PutServerFile("WC:\\DISP\\HELLO1.BBS", "new\r\n");
  Refusal([&] { admin_->Attach(posted.id + 100, "x"); });

  auto files = admin_->database().Prepare(
      "SELECT path_key, message_id, data FROM server_files ORDER BY path_key");
  ASSERT_TRUE(files->Step());
  EXPECT_EQ(files->Text(0), "WC:\\CONF(3)\\MESSAGE(" + std::to_string(posted.id) + ")\\ATTACH");
  EXPECT_EQ(files->Int(1), posted.id);
  EXPECT_EQ(files->Text(2), std::string("\0\1binary", 8));
  ASSERT_TRUE(files->Step());
  EXPECT_EQ(files->Text(0), "WC:\\DISP\\HELLO1.BBS");
  EXPECT_TRUE(files->IsNull(1));
  EXPECT_EQ(files->Text(2), "new\r\n");
  EXPECT_FALSE(files->Step());
}

TEST_P(BoardAdminTest, AreasAndFilesAreChecked) {
  admin_->AddArea(1, "Uploads", false);
  admin_->AddArea(2, "Hidden", true);
  Refusal([&] { admin_->AddArea(0, "Zero", false); });
  Refusal([&] { admin_->AddArea(1, "Again", false); });
  Refusal([&] { admin_->AddArea(3, std::string(33, 'a'), false); });
  const FILETIME date = *ParseBoardDate("2025-12-24 18:00");
  admin_->AddFile(1, "SIXTEEN_CHARS.ZI", 1234, std::string(76, 'd'), date);
  Refusal([&] { admin_->AddFile(1, "SEVENTEEN_CHARS.Z", 1, "", date); });
  Refusal([&] { admin_->AddFile(1, "A.ZIP", 1, std::string(77, 'd'), date); });
  Refusal([&] { admin_->AddFile(9, "A.ZIP", 1, "", date); });
  const auto areas = admin_->ListAreas();
  ASSERT_EQ(areas.size(), 2u);
  EXPECT_EQ(areas[0].fileCount, 1);
  EXPECT_TRUE(areas[1].exclude);
  EXPECT_EQ(Scalar("SELECT upload_time FROM files"), static_cast<int64_t>(date.Ticks()));
}

TEST(BoardAdminDates, ParseOnlyRealDatesOfTheOneShape) {
  const auto date = ParseBoardDate("2001-03-05 09:07");
  ASSERT_TRUE(date.has_value());
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(*date, st));
  EXPECT_EQ(st.wYear, 2001);
  EXPECT_EQ(st.wMonth, 3);
  EXPECT_EQ(st.wDay, 5);
  EXPECT_EQ(st.wHour, 9);
  EXPECT_EQ(st.wMinute, 7);
  for (const char* bad : {"2001-02-29 00:00", "2001-3-05 09:07", "2001-03-05", "2001-03-05 24:00",
                          "2001/03/05 09:07", "2001-03-05 09:07 ", "", "abcd-ef-gh ij:kl"}) {
    EXPECT_FALSE(ParseBoardDate(bad).has_value()) << bad;
  }
}

TEST(BoardAdminHash, IsFnv1a64) {
  // The published FNV-1a test vectors.
  EXPECT_EQ(static_cast<uint64_t>(MessageTextHash("")), 0xcbf29ce484222325ULL);
  EXPECT_EQ(static_cast<uint64_t>(MessageTextHash("a")), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(static_cast<uint64_t>(MessageTextHash("foobar")), 0x85944171f73967e8ULL);
}

TEST(BoardAdminGenerate, TheSameSeedGivesTheSameBoard) {
  TempDir dir;
  GenerateOptions options;
  options.users = 4;
  options.conferences = 3;
  options.messages = 120;
  options.minSize = 0;
  options.maxSize = 300;
  options.to = "Bench User";
  options.toShare = 0.25;
  options.seed = 7;
  const auto make = [&](const std::string& name, uint64_t seed) {
    BoardAdmin::Create(dir / name, BoardConfig{}, "");
    BoardAdmin admin = BoardAdmin::Open(dir / name);
    GenerateOptions these = options;
    these.seed = seed;
    const GenerateReport report = Generate(admin, these);
    EXPECT_EQ(report.usersAdded, 5);
    EXPECT_EQ(report.conferencesAdded, 3);
    EXPECT_EQ(report.messagesAdded, 120);
    std::string content;
    for (const auto& m : admin.ListMessages(std::nullopt, std::nullopt)) {
      const auto shown = admin.Show(m.id);
      EXPECT_LE(shown->text.size(), 300u);
      content += std::to_string(m.conference) + "|" + m.from + "|" + m.to + "|" + m.subject + "|" +
                 std::to_string(m.messageTime.Ticks()) + "|" + shown->text + "\n";
    }
    const auto toBench = admin.ListMessages(std::nullopt, std::string("BENCH USER"));
    EXPECT_EQ(static_cast<int64_t>(toBench.size()), report.messagesToUser);
    return content;
  };
  const std::string first = make("a.db", 7);
  EXPECT_EQ(make("b.db", 7), first);
  EXPECT_NE(make("c.db", 8), first);

  // Running it again adds messages and reuses the users and conferences.
  BoardAdmin admin = BoardAdmin::Open(dir / "a.db");
  const GenerateReport again = Generate(admin, options);
  EXPECT_EQ(again.usersAdded, 0);
  EXPECT_EQ(again.conferencesAdded, 0);
  EXPECT_EQ(admin.ListMessages(std::nullopt, std::nullopt).size(), 240u);
  EXPECT_GT(again.firstId, 120);

  options.maxSize = -1;
  Refusal([&] { Generate(admin, options); });
}

INSTANTIATE_TEST_SUITE_P(, BoardAdminTest, testing::kBothBackends, testing::BackendName);

}  // namespace
}  // namespace obrix::board
