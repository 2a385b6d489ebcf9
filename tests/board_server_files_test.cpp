// The board's file areas and server files behind the server interface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_board.h"

namespace obrix::board {
namespace {

class BoardServerTest : public testing::OnBoardTest {
 protected:
  BoardServerTest() : OnBoardTest(testing::kSysopAlone) {}
};
using BoardServerFiles = BoardServerTest;

TEST_P(BoardServerFiles, NewFilesSearchCrossesIntoLaterAreas) {
  const FILETIME old = *ParseBoardDate("2023-12-01 10:00");
  const FILETIME since = *ParseBoardDate("2024-01-01 00:00");
  const FILETIME early = *ParseBoardDate("2024-01-05 08:00");
  const FILETIME late = *ParseBoardDate("2024-02-01 09:30");
  Admin().AddArea(1, "Utilities", false);
  Admin().AddArea(3, "Adult stuff", true);
  Admin().AddArea(4, "Games", false);
  Admin().AddFile(1, "OLD.ZIP", 100, "An old one", old);
  Admin().AddFile(3, "HIDDEN.ZIP", 200, "In an excluded area", early);
  Admin().AddFile(4, "LATE.ZIP", 300, "Came late", late);
  Admin().AddFile(4, "EARLY.ZIP", 4000000, "Came early", early);
  AddUser("Bob");
  auto bob = test_.LogIn("Bob");

  std::vector<int32_t> areas;
  for (int32_t a = bob->GetFirstFileArea(0, 0); a > 0; a = bob->GetNextFileArea(0, 0, a)) {
    areas.push_back(a);
  }
  EXPECT_EQ(areas, (std::vector<int32_t>{1, 3, 4}));
  FileAreaRecord area;
  ASSERT_TRUE(bob->vbGetFileArea(3, area));
  EXPECT_EQ(area.name.Str(), FixedText<32>("Adult stuff").Str());
  EXPECT_EQ(area.exclude, kTrue32);
  ASSERT_TRUE(bob->vbGetFileArea(4, area));
  EXPECT_EQ(area.exclude, kFalse32);
  EXPECT_FALSE(bob->vbGetFileArea(2, area));

  // Area 1 has nothing new: the search lands in the next area with an entry.
  FileRecord file;
  int32_t position = 0;
  ASSERT_TRUE(bob->vbSearchFileRecByAreaDate(1, since, file, position));
  EXPECT_EQ(file.area, 3);
  EXPECT_EQ(file.name.Trimmed(), "HIDDEN.ZIP");
  std::vector<std::string> rest;
  while (bob->vbGetNextFileRec(2, file, position)) {
    rest.push_back(std::to_string(file.area) + " " + file.name.Trimmed());
  }
  EXPECT_EQ(rest, (std::vector<std::string>{"4 EARLY.ZIP", "4 LATE.ZIP"}));

  ASSERT_TRUE(bob->vbSearchFileRecByAreaDate(4, since, file, position));
  EXPECT_EQ(file.name.Trimmed(), "EARLY.ZIP");
  EXPECT_EQ(file.size, 4000000);
  EXPECT_EQ(file.fileTime, early);
  EXPECT_EQ(file.description.Str(), FixedText<76>("Came early").Str());
  ASSERT_TRUE(bob->vbSearchFileRecByAreaDate(1, old, file, position));
  EXPECT_EQ(file.name.Trimmed(), "OLD.ZIP");
  EXPECT_FALSE(
      bob->vbSearchFileRecByAreaDate(4, *ParseBoardDate("2025-01-01 00:00"), file, position));
}

TEST_P(BoardServerFiles, ServerFileIsReadInPieces) {
  std::string screen;
  for (int i = 0; screen.size() < 20000; ++i) screen += static_cast<char>(i * 7 % 256);
  screen.resize(20000);
  Admin().PutServerFile("wc:\\disp\\hello1.bbs", screen);
  AddUser("Bob");
  auto bob = test_.LogIn("Bob");

  std::string path = "WC:\\DISP\\HELLO1.BBS";
  EXPECT_TRUE(bob->WcExistFile(path));
  EXPECT_EQ(bob->WcGetFileSize(path), 20000);
  const int32_t handle = bob->WcCreateFile(path, kGenericRead, kFileShareRead, kOpenExisting);
  ASSERT_GT(handle, 0);
  std::string copy;
  std::vector<uint32_t> pieces;
  char buffer[8073];
  uint32_t count = 0;
  while (bob->WcReadFile(handle, buffer, sizeof buffer, count) && count > 0) {
    copy.append(buffer, count);
    pieces.push_back(count);
  }
  EXPECT_EQ(pieces, (std::vector<uint32_t>{8073, 8073, 3854}));
  EXPECT_EQ(copy, screen);
  EXPECT_TRUE(bob->WcCloseHandle(handle));
  EXPECT_FALSE(bob->WcCloseHandle(handle));
  EXPECT_EQ(bob->GetLastError(), kServerBadHandle);
  EXPECT_FALSE(bob->WcReadFile(handle, buffer, sizeof buffer, count));

  std::string missing = "wc:\\disp\\goodbye.bbs";
  EXPECT_FALSE(bob->WcExistFile(missing));
  EXPECT_EQ(bob->WcCreateFile(missing, kGenericRead, kFileShareRead, kOpenExisting), -1);
  EXPECT_EQ(bob->WcGetFileSize(missing), -1);
  EXPECT_EQ(bob->WcCreateFile(path, kGenericRead | 0x40000000u, 0, kOpenExisting), -1);
  EXPECT_EQ(bob->GetLastError(), kServerAccessDenied);
}

INSTANTIATE_TEST_SUITE_P(, BoardServerFiles, testing::kBothBackends, testing::BackendName);

}  // namespace
}  // namespace obrix::board
