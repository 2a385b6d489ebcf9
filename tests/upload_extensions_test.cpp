// What readers send beside the reply file: HEADERS.DAT (whole fields and
// UTF-8 replies) and TODOOR.EXT (conference changes). The parsers on
// bytes, then REPs built with the real zip and uploaded by the real
// program against a real board.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/node.h"
#include "upload/reply_headers.h"
#include "upload/reply_utf8.h"

namespace obrix::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

// "Re: Œuvre complète — a subject of more than 25 characters" in UTF-8 and
// in Windows-1252.
constexpr const char* kLongSubjectUtf8 =
    "Re: \xC5\x92uvre compl\xC3\xA8te \xE2\x80\x94 a subject of more than 25 characters";
constexpr const char* kLongSubjectBoard =
    "Re: \x8Cuvre compl\xE8te \x97 a subject of more than 25 characters";

TEST(UploadUtf8Test, CharactersAreNamedByCodePointOnlyWhenWellFormed) {
  const struct {
    const char* bytes;
    const char* name;
  } cases[] = {
      {"A", "U+0041"}, {"\xC5\x81", "U+0141"}, {"\xF0\x9F\x98\x80", "U+1F600"},
      {"\xC5", ""},    {"\xC0\xAF", ""},       {"\xED\xA0\x80", ""},
      {"\x81", ""},    {"\xC5\x81x", ""},      {"\xF4\x90\x80\x80", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CodePointName(c.bytes), c.name) << c.bytes;
}

TEST(UploadUtf8Test, ConversionRefusesWhatTheBoardCannotKeep) {
  const struct {
    const char* utf8;
    const char* board;  // null: refused
    const char* why;
  } cases[] = {
      {kLongSubjectUtf8, kLongSubjectBoard, ""},
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA",
       nullptr, "holds U+0141, which the board's character set lacks"},
      {"ok \xF0\x9F\x98\x80", nullptr, "holds U+1F600, which the board's character set lacks"},
      {"ab\xC3", nullptr, "is not valid UTF-8 (at byte 2)"},
  };
  Utf8Replies utf8;
  for (const auto& c : cases) {
    std::string why;
    const std::optional<std::string> board = utf8.ToBoard(c.utf8, why);
    EXPECT_EQ(board.value_or("refused"), c.board != nullptr ? c.board : "refused") << c.utf8;
    EXPECT_EQ(why, c.why);
  }
}

TEST(UploadHeadersTest, SectionsByOffsetAndMalformedLinesSkipped) {
  const ReplyHeaders headers = ReplyHeaders::Parse(
      "\xEF\xBB\xBF"
      "stray = before any section\r\n"
      "[80]\r\n"
      "utf8 = Yes\r\n"
      "Subject =  Whole subject  \r\n"
      "; a comment\r\n"
      "Sender = ignored\r\n"
      "[1a0]\n"
      "Utf8=false\n"
      "TO=Bob Writer\n"
      "In-Reply-To = <42.obrix@board>\n"
      "no equals sign\n"
      "[zz]\n"
      "Subject = " +
      std::string(2000, 'x') + "\n");
  const ReplyHeaderFields* first = headers.Find(0x80);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->utf8);
  EXPECT_EQ(first->subject, "Whole subject");
  const ReplyHeaderFields* second = headers.Find(0x1A0);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(second->utf8);
  EXPECT_EQ(second->to, "Bob Writer");
  EXPECT_EQ(second->inReplyTo, "<42.obrix@board>");
  EXPECT_EQ(second->subject, std::nullopt);
  EXPECT_EQ(headers.Find(0), nullptr);
  EXPECT_EQ(headers.SkippedLines(), 4);  // stray, no equals sign, [zz], the long line
  EXPECT_EQ(headers.FirstSkippedLine(), 1);
  EXPECT_EQ(headers.FirstSkipped(), "stray = before any section");
}

TEST(UploadHeadersTest, MessageIdsOfTheDoorsOwnForm) {
  const struct {
    const char* value;
    std::optional<int32_t> id;
  } cases[] = {
      {"<42.obrix@board>", 42},          {" <7@b> ", 7},         {"42.obrix@board", std::nullopt},
      {"<x42@b>", std::nullopt},         {"<42>", std::nullopt}, {"<0@b>", std::nullopt},
      {"<99999999999@b>", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(MessageIdOf(c.value), c.id) << c.value;
}

class UploadExtensionsTest : public BoardTest {
 protected:
  void SetUp() override { std::filesystem::create_directory(node_.Work()); }

  // Uploads a REP of `replies` with `extras` (name, bytes) beside the reply file.
  ProcessResult Upload(const std::vector<TestReply>& replies,
                       const std::vector<std::pair<std::string, std::string>>& extras) {
    std::vector<std::pair<std::string, std::string>> members = {
        {"OBRIX.MSG", ReplyFile("OBRIX", replies)}};
    members.insert(members.end(), extras.begin(), extras.end());
    ZipMembers(node_.Work("obrix.rep"), members);
    return node_.Run({.operation = kUpload});
  }
  std::vector<std::string> Kept() const { return FolderNames(node_.Work("kept")); }

  Site site_{{.conferences = 10}, backend()};
  Node& node_ = site_.node;
  TestBoard& board_ = site_.board;
};

TEST_P(UploadExtensionsTest, HeadersGiveWholeFieldsAndUtf8Text) {
  const int32_t answered = board_.Post({.conference = 2, .subject = "Original"});
  TestReply utf8;  // at byte 128
  utf8.number = "2";
  utf8.subject = "Re: OEuvre complete - a s";
  utf8.text = "Caf\xC3\xA9 cr\xC3\xA8me\n";
  TestReply plain;  // at byte 384
  plain.subject = "Re: a whole subject of mo";
  plain.to = "BOB WRITER";
  plain.text = "read as before\n";
  const ProcessResult run = Upload(
      {utf8, plain},
      {{"HEADERS.DAT", std::string("[80]\r\nUtf8 = TRUE\r\nSubject = ") + kLongSubjectUtf8 +
                           "\r\nIn-Reply-To = <" + std::to_string(answered) + ".obrix@test>\r\n" +
                           "[180]\r\nSubject = Re: a whole subject of more than "
                           "25\r\nTo = Alice Caller\r\n"}});
  EXPECT_EQ(run.status, 0) << run.output;
  const std::vector<board::MessageSummary> messages = board_.Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1].subject, kLongSubjectBoard);
  EXPECT_EQ(messages[1].text, "Caf\xE9 cr\xE8me\n");
  EXPECT_EQ(messages[1].reference, answered);
  EXPECT_EQ(messages[2].subject, "Re: a whole subject of more than 25");
  EXPECT_EQ(messages[2].to, kUser);
  EXPECT_EQ(messages[2].text, "read as before\n");
}

TEST_P(UploadExtensionsTest, AUtf8ReplyWithACharacterTheBoardLacksIsRefusedAndKept) {
  TestReply fine;
  fine.subject = "Fine";
  TestReply polish;
  polish.subject = "Polish";
  polish.text =
      "\xC5\x81\xC3\xB3"
      "d\xC5\xBA\n";
  const ProcessResult run =
      Upload({fine, polish}, {{"headers.dat", "[80]\nUtf8=1\n[100]\nUtf8 = true\n"}});
  EXPECT_EQ(run.status, 5) << run.output;
  EXPECT_THAT(node_.LastRun(),
              AllOf(Contains("Refused the reply to ALL in conference 1: its text holds U+0141, "
                             "which the board's character set lacks"),
                    Contains("1 reply uploaded."), Contains("1 reply refused.")));
  EXPECT_THAT(board_.Subjects(), ElementsAre("Fine"));
  EXPECT_THAT(Kept(), SizeIs(1));
}

TEST_P(UploadExtensionsTest, TodoorChangesConferencesAfterTheReplies) {
  board_.Admin().AddConference(12, "Bob only", 0, {kOther});
  for (int32_t conference : {3, 4, 5}) board_.Admin().SetFlags(kUser, conference, 0x80);
  board_.Admin().SetFlags(kUser, 6, 0x83);
  const ProcessResult run = Upload({TestReply{}}, {{"TODOOR.EXT",
                                                    "AREA 3 a\r\nAREA 4 p\r\nAREA 5 g\nAREA 6 D\r\n"
                                                    "AREA 7 x\r\nAREA 12 a\r\nAREA 99 D\r\n"}});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(
      node_.LastRun(),
      IsUpload({"Reply Packet ID [OBRIX]", "Conf: 1 To: ALL Subj: Hello",
                "Conference 3 - Conference 3 added.",
                "Conference 4 - Conference 4 added for your mail only.",
                "Conference 5 - Conference 5 added for your mail and mail to all.",
                "Conference 6 - Conference 6 dropped.", "Ignoring TODOOR.EXT line: AREA 7 x",
                "Conference 12 is not open to you: ADD skipped.", "No conference 99: DROP skipped.",
                "1 reply uploaded.", StartsWith("Removing "), StartsWith("Removing ")}));
  const std::map<int32_t, uint32_t> flags = {{3, 0x83}, {4, 0x81}, {5, 0x82}, {6, 0x80}};
  for (const auto& [conference, expected] : flags) {
    EXPECT_EQ(board_.Admin().GetFlags(kUser, conference), expected) << conference;
  }
  EXPECT_THAT(Kept(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(, UploadExtensionsTest, kBothBackends, BackendName);

}  // namespace
}  // namespace obrix::testing
