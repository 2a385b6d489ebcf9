// "newfiles.dat" from a real board's file areas.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "qwk/qwk_files.h"
#include "support/test_board.h"

namespace obrix {
namespace {

using testing::kUser;
using testing::ReadFile;
using testing::WriteFile;

FILETIME Day(int day) {
  SYSTEMTIME time;
  time.wYear = 2024;
  time.wMonth = 6;
  time.wDay = static_cast<uint16_t>(day);
  time.wHour = 12;
  FILETIME stamp;
  EXPECT_TRUE(SystemTimeToFileTime(time, stamp));
  return stamp;
}

// Digits in groups of three from the right, "," between the groups.
std::string Grouped(int32_t size) {
  if (size == 0) return "";
  std::string digits = std::to_string(size);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
    digits.insert(static_cast<size_t>(i), ",");
  }
  return digits;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

struct NewFile {
  std::string name;
  int32_t size;
  std::string description;
};

class QwkNewFilesTest : public testing::RunOnBoardTest {
 protected:
  void SetUp() override { Admin().SetNewFilesDate(kUser, Day(10)); }

  void Include(const std::string& setting) { Admin().SetVar(kUser, "IncludeNewFiles", setting); }

  // The area's section of the list as a reader expects it.
  static std::string Section(int32_t area, const std::string& name,
                             const std::vector<NewFile>& files) {
    std::string text =
        "\r\n***** Area  " + std::to_string(area) + " : " + Padded(name, 32) + "\r\n\r\n";
    for (const NewFile& file : files) {
      text += Padded(file.name, 15) + "Size: " + Grouped(file.size) + "\r\n";
      text += "Desc: " + Padded(file.description, 76) + "\r\n";
    }
    return text;
  }

  std::string List() { return ReadFile(Work("newfiles.dat")); }

  PacketCharset charset_;  // bytes as stored
};

TEST_F(QwkNewFilesTest, ListsNewFilesOfAreasThatAreNotExcluded) {
  const std::vector<NewFile> files = {
      {"ABCD.ZIP", 0, "An empty file with an eight-character name"},
      {"FIFTEEN_CHARS.Z", 3456789, "Millions of bytes, a name of fifteen characters"},
      {"SIXTEEN_CHARS.ZZ", 1234567890, "A name of sixteen characters"},
  };
  auto& admin = Admin();
  admin.AddArea(5, "Sysop Tools", true);
  admin.AddArea(12, "Uploads", false);
  admin.AddFile(5, "HIDDEN.ZIP", 999, "In an excluded area", Day(20));
  admin.AddFile(12, "OLD.ZIP", 5, "Older than the user's date", Day(2));
  for (size_t i = 0; i < files.size(); ++i) {
    admin.AddFile(12, files[i].name, files[i].size, files[i].description,
                  Day(11 + static_cast<int>(i)));
  }
  Include("1");
  LogInUser();
  WriteFile(Work("newfiles.dat"), std::string(5000, 'x'));  // an older, longer list

  WriteNewFilesList(context_, Work("newfiles.dat"), charset_);
  const std::string list = List();
  EXPECT_EQ(list, Section(12, "Uploads", files));
  EXPECT_NE(list.find("ABCD.ZIP       Size: \r\n"), std::string::npos);
  EXPECT_NE(list.find("FIFTEEN_CHARS.ZSize: 3,456,789\r\n"), std::string::npos);
  EXPECT_NE(list.find("SIXTEEN_CHARS.ZZSize: 1,234,567,890\r\n"), std::string::npos);
  EXPECT_EQ(Log(),
            std::vector<std::string>{"Collecting new files: " + std::to_string(files.size())});
}

TEST_F(QwkNewFilesTest, EveryAreaWithNewFilesGetsItsSection) {
  auto& admin = Admin();
  admin.AddArea(1, "First", false);
  admin.AddArea(2, "Only old files", false);
  admin.AddArea(3, "Third", false);
  admin.AddFile(1, "ONE.TXT", 1000, "one", Day(15));
  admin.AddFile(2, "ANCIENT.TXT", 7, "old", Day(1));
  admin.AddFile(3, "THREE.TXT", 999, "three", Day(12));
  admin.AddFile(3, "FOUR.TXT", 1001, "four", Day(13));
  Include("True");
  LogInUser();
  WriteNewFilesList(context_, Work("newfiles.dat"), charset_);
  EXPECT_EQ(List(),
            Section(1, "First", {{"ONE.TXT", 1000, "one"}}) +
                Section(3, "Third", {{"THREE.TXT", 999, "three"}, {"FOUR.TXT", 1001, "four"}}));
  EXPECT_EQ(Log(), std::vector<std::string>{"Collecting new files: 3"});
}

TEST_F(QwkNewFilesTest, NoNewFilesGivesAnEmptyList) {
  auto& admin = Admin();
  admin.AddArea(1, "First", false);
  admin.AddFile(1, "OLD.TXT", 10, "old", Day(3));
  Include("1");
  LogInUser();
  WriteNewFilesList(context_, Work("newfiles.dat"), charset_);
  EXPECT_EQ(List(), "");
  EXPECT_EQ(Log(), std::vector<std::string>{"Collecting new files: 0"});
}

TEST_F(QwkNewFilesTest, WithoutTheSettingNothingIsWrittenOrLogged) {
  auto& admin = Admin();
  admin.AddArea(1, "First", false);
  admin.AddFile(1, "NEW.TXT", 10, "new", Day(20));
  LogInUser();
  // No setting at all reads as "0", then the explicit false values.
  for (const char* setting : {"", "0", "false", "FALSE"}) {
    SCOPED_TRACE(setting);
    if (*setting) Include(setting);
    WriteNewFilesList(context_, Work("newfiles.dat"), charset_);
    EXPECT_FALSE(testing::Exists(Work("newfiles.dat")));
    EXPECT_FALSE(testing::Exists(log_.path()));
  }
}

}  // namespace
}  // namespace obrix
