// The removal helpers never reach through a link.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/files.h"
#include "support/test_support.h"

namespace obrix {
namespace {

using obrix::testing::Exists;
using obrix::testing::ReadFile;
using obrix::testing::TempDir;
using obrix::testing::WriteFile;

namespace fs = std::filesystem;

class RemoveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OBRIX_SKIP_WITHOUT(testing::Need::kSymlinks);
    fs::create_directory(dir_ / "kept");
    WriteFile(dir_ / "kept/data", "keep me");
    fs::create_directory(dir_ / "tree");
    fs::create_directory(dir_ / "tree/inner");
    WriteFile(dir_ / "tree/inner/file", "x");
    fs::create_directory_symlink(dir_ / "kept", dir_ / "tree/inner/to-kept");
    fs::create_symlink(dir_ / "kept/data", dir_ / "tree/to-data");
    fs::create_directory_symlink(dir_ / "kept", dir_ / "folder-link");
    fs::create_symlink(dir_ / "kept/data", dir_ / "file-link");
  }

  bool Present(const std::string& name) { return Exists(dir_ / name); }
  // The folder the links point at, untouched.
  bool KeptIntact() { return ReadFile(dir_ / "kept/data") == "keep me"; }

  TempDir dir_;
};

TEST_F(RemoveTest, RemoveTreeTakesWhateverHasTheNameButNoLinkTarget) {
  for (const char* name : {"folder-link", "file-link", "tree"}) {
    RemoveTree(dir_ / name);
    EXPECT_FALSE(Present(name)) << name;
    EXPECT_TRUE(KeptIntact()) << name;
  }
  RemoveTree(dir_ / "missing");  // nothing to do, no complaint
  RemoveTree(dir_ / "kept/data");
  EXPECT_FALSE(Present("kept/data"));
  EXPECT_TRUE(Present("kept"));
}

TEST_F(RemoveTest, RemoveFileTakesFilesAndLinksButNoFolder) {
  EXPECT_FALSE(RemoveFile(dir_ / "tree"));
  EXPECT_FALSE(RemoveFile(dir_ / "missing"));
  EXPECT_TRUE(Present("tree/inner/file"));
  for (const char* name : {"folder-link", "file-link"}) {
    EXPECT_TRUE(RemoveFile(dir_ / name)) << name;
    EXPECT_FALSE(Present(name)) << name;
  }
  EXPECT_TRUE(KeptIntact());
  EXPECT_TRUE(RemoveFile(dir_ / "tree/inner/file"));
  EXPECT_FALSE(Present("tree/inner/file"));
}

}  // namespace
}  // namespace obrix
