// The server paths of message texts, attachments and display screens.
#include "server/server_path.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace obrix {
namespace {

TEST(ServerPathTest, BuildsThePathsTheBoardKeeps) {
  EXPECT_EQ(ConferenceMessagePath(3, 812), "wc:\\conf(3)\\message(812)");
  EXPECT_EQ(AttachmentPath(0, 2147483647), "wc:\\conf(0)\\message(2147483647)\\attach");
  EXPECT_EQ(DisplayPath("hello1.bbs"), "wc:\\disp\\hello1.bbs");
}

TEST(ServerPathTest, ReadsOnlyAWholeMessagePath) {
  struct Case {
    std::string path;
    std::optional<MessagePath> parsed;
  };
  const Case cases[] = {
      {ConferenceMessagePath(7, 42), MessagePath{7, 42}},
      {"WC:\\CONF(0)\\MESSAGE(1)", MessagePath{0, 1}},
      {"Wc:\\Conf(007)\\Message(2147483647)", MessagePath{7, 2147483647}},
      {AttachmentPath(7, 42), std::nullopt},  // something after the id
      {" wc:\\conf(7)\\message(42)", std::nullopt},
      {"wc:\\conf(+7)\\message(42)", std::nullopt},
      {"wc:\\conf(-7)\\message(42)", std::nullopt},
      {"wc:\\conf(7)\\message()", std::nullopt},
      {"wc:\\conf(7)\\message(2147483648)", std::nullopt},  // past 32 bits
      {"wc:/conf(7)/message(42)", std::nullopt},
      {"wc:\\conf(7)\\message(42", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseMessagePath(c.path), c.parsed) << c.path;
}

}  // namespace
}  // namespace obrix
