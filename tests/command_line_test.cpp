#include "driver/command_line.h"

#include <gtest/gtest.h>

namespace obrix {
namespace {

TEST(CommandLineTest, ReadsATwoWordNameAPasswordAndTheOperation) {
  const std::string args = "/U John Smith /P secret /DOWNLOAD";
  EXPECT_EQ(ParseUserName(args), "JOHN SMITH");
  EXPECT_EQ(ParsePassword(args), "SECRET");
  EXPECT_EQ(ParseOperation(args), "DOWNLOAD");
  EXPECT_FALSE(ParseOverwrite(args));
}

TEST(CommandLineTest, SwitchOrderIsFreeAndANameAtTheEndRunsToTheEnd) {
  const std::string args = "/P pw /upload /u mary ann jones";
  EXPECT_EQ(ParseUserName(args), "MARY ANN JONES");
  EXPECT_EQ(ParsePassword(args), "PW");
  EXPECT_EQ(ParseOperation(args), "UPLOAD");
}

TEST(CommandLineTest, ASlashInsideANameCutsItAndDropsTheCharacterBefore) {
  EXPECT_EQ(ParseUserName("/U a/b /P x /DOWNLOAD"), "");
  EXPECT_EQ(ParseUserName("/U AC/DC FAN /P x /DOWNLOAD"), "A");
  EXPECT_EQ(ParseUserName("/U /P x /DOWNLOAD"), "");  // no name: empty, no failure
}

TEST(CommandLineTest, SwitchesNeedTheirBlanks) {
  EXPECT_EQ(ParseUserName("/P x /DOWNLOAD /U"), "");
  EXPECT_EQ(ParseOperation("/DOWNLOAD /U A /P B"), "");  // nothing precedes the slash
  EXPECT_EQ(ParseOperation("/U A /P B /DOWNLOADING"), "DOWNLOAD");
  EXPECT_EQ(ParseOperation("/U A /P B /UPLOAD /DOWNLOAD"), "DOWNLOAD");
  EXPECT_TRUE(ParseOverwrite("/U A /P B /UPLOAD /overwrite"));
}

TEST(CommandLineTest, AMissingPasswordSwallowsTheOperationSwitch) {
  const std::string args = "/U JOE /P /DOWNLOAD";
  EXPECT_EQ(ParsePassword(args), "/DOWNLOAD");
  EXPECT_EQ(ParseOperation(args), "DOWNLOAD");
  EXPECT_EQ(ParsePassword("/U JOE /P  x /DOWNLOAD"), "");  // second blank: empty password
  EXPECT_EQ(ParsePassword("/U JOE /DOWNLOAD"), "");
}

TEST(CommandLineTest, WhatNoSwitchTakesIsNamedButNeverThePassword) {
  const struct {
    const char* arguments;
    std::vector<std::string> expected;
  } kCases[] = {
      {"/U Mary Ann Jones /P pw /DOWNLOAD /OVERWRITE", {}},
      {"/P /secret /u joe /upload", {}},  // a password may begin with a slash
      {"/U JOE /P pw /DOWNLOAD /FOO", {"the unknown switch /FOO"}},
      {"/U JOE /P two words here /UPLOAD", {"2 words after the password, which is one word"}},
      {"stray /U JOE /P pw /UPLOAD tail", {"the word stray", "the word tail"}},
      {"/U A /P B /DOWNLOADING", {"the unknown switch /DOWNLOADING"}},
  };
  for (const auto& c : kCases) EXPECT_EQ(NotUnderstood(c.arguments), c.expected) << c.arguments;
  EXPECT_TRUE(AsksForHelp("--help"));
  EXPECT_FALSE(AsksForHelp("/U JOE --help"));
}

}  // namespace
}  // namespace obrix
