// Return receipts and the pointer file, against a real board.
#include <string>

#include "base/failure.h"
#include "download/pointer_file.h"
#include "download/return_receipt.h"
#include "support/fakes.h"
#include "support/test_board.h"

namespace obrix::testing {
namespace {

class DownloadReceiptTest : public OnBoardTest {
 protected:
  static constexpr int32_t kConference = 3;

  void SetUp() override { Admin().AddConference(kConference, "Meetings", 3, {}); }

  // The clock the receipts read: a quarter past nine on the 4th of March
  // 2026, seven seconds in.
  const FixedClock clock_{LocalTime(2026, 3, 4, 9, 15, 7)};

  board::MessageSummary OnlyMessageAfter(int32_t id) {
    const auto messages = Admin().ListMessages(kConference, std::nullopt);
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_GT(messages.back().id, id);
    return *Admin().Show(messages.back().id);
  }
};

TEST_F(DownloadReceiptTest, ReceiptGoesPrivatelyToTheSenderWithTheReadingTime) {
  const int32_t delivered =
      Post(kConference, kOther, kUser, "Meeting", /*isPrivate=*/false, /*receipt=*/true);
  LogIn();
  MessageRecord record;
  ASSERT_TRUE(board_.vbGetMessageById(kConference, delivered, record));
  EXPECT_TRUE(SendReturnReceipt(board_, clock_, record));

  const board::MessageSummary receipt = OnlyMessageAfter(delivered);
  EXPECT_EQ(receipt.conference, kConference);
  EXPECT_EQ(receipt.from, "Wildcat! Mail Room");
  EXPECT_EQ(receipt.fromId, 0);
  EXPECT_EQ(receipt.to, kOther);
  EXPECT_EQ(receipt.toId, test_.UserId(kOther));
  EXPECT_EQ(receipt.subject, "Return Receipt");
  EXPECT_TRUE(receipt.isPrivate);
  EXPECT_FALSE(receipt.receiptRequested);
  EXPECT_FALSE(receipt.received);
  EXPECT_EQ(receipt.reference, delivered);
  EXPECT_EQ(receipt.text,
            "Your message to ALICE CALLER, regarding Meeting\nwas read on 03/04/2026 at 09:15:07");

  // The sender's whole block, title included, is the addressee.
  LogIn(kOther, kOtherPassword);
  MessageRecord seen;
  ASSERT_TRUE(board_.vbGetMessageById(kConference, receipt.id, seen));
  EXPECT_EQ(seen.to.title.Trimmed(), "Writer");
}

TEST_F(DownloadReceiptTest, BlanksAroundNameAndSubjectStayOut) {
  const int32_t delivered = Post(kConference, kOther, kUser, "Budget", false, true);
  LogIn();
  MessageRecord record;
  ASSERT_TRUE(board_.vbGetMessageById(kConference, delivered, record));
  record.to.name.Set("   ALICE CALLER");
  record.subject.Set("  Budget 2024  ");
  EXPECT_TRUE(SendReturnReceipt(board_, clock_, record));
  EXPECT_EQ(OnlyMessageAfter(delivered).text,
            "Your message to ALICE CALLER, regarding Budget 2024\n"
            "was read on 03/04/2026 at 09:15:07");
}

class DownloadPointerFileTest : public OnBoardTest {};

TEST_F(DownloadPointerFileTest, OneLinePerConferenceWithThePointerAsItStands) {
  Admin().AddConference(0, "Main", 3, {});
  Admin().AddConference(7, "Seven", 3, {});
  Admin().SetLastRead(kUser, 7, 1234);
  const std::string path = dir_ / "OBRIX.ptr";
  WriteFile(path, "an older, longer pointer file\r\n");
  LogIn();

  PointerFile pointers = PointerFile::Create(path);
  pointers.AddLine(board_, 0);
  pointers.AddLine(board_, 7);
  pointers.Close();
  EXPECT_EQ(ReadFile(path), "0,0\r\n7,1234\r\n");

  pointers.Close();  // a second close does nothing
  EXPECT_THROW(pointers.AddLine(board_, 0), Failure);
  EXPECT_EQ(ReadFile(path), "0,0\r\n7,1234\r\n");
}

TEST_F(DownloadPointerFileTest, NoConferenceLeavesAnEmptyFile) {
  const std::string path = dir_ / "EMPTY.ptr";
  { PointerFile pointers = PointerFile::Create(path); }
  EXPECT_EQ(ReadFile(path), "");
}

}  // namespace
}  // namespace obrix::testing
