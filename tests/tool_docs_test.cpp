// The sysop's documents against the tool: every command and option that
// `obrix-board --help` lists, every configuration key and every packet
// setting is documented in the manual page and in docs/obrix-board.md,
// whose table of the packet settings is the tool's own, row by row.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>

#include "admin/board_admin.h"
#include "server/packet_settings.h"
#include "support/test_support.h"
#include "support/tool_runner.h"

namespace obrix::testing {
namespace {

using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::HasSubstr;

struct ListedCommand {
  std::string name;                  // "user add"
  std::vector<std::string> options;  // "--title"; the tool's own left out
};

// The commands of the overview: its lines "  NAME... [OPTIONS]".
std::vector<ListedCommand> ListedCommands(const std::string& help) {
  static const std::regex synopsis(R"(^  ([a-z][a-z-]*(?: [a-z][a-z-]*)?)(?: (.*))?$)");
  static const std::regex option(R"(--[a-z][a-z-]*)");
  std::vector<ListedCommand> out;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (!std::regex_match(line, match, synopsis)) continue;
    ListedCommand command{match[1], {}};
    const std::string rest = match[2];
    for (std::sregex_iterator it(rest.begin(), rest.end(), option), end; it != end; ++it) {
      if (it->str() != "--board" && it->str() != "--raw") command.options.push_back(it->str());
    }
    out.push_back(command);
  }
  return out;
}

// The manual page as text: fonts dropped, "\-" a hyphen.
std::string ManText(std::string page) {
  page = std::regex_replace(page, std::regex(R"(\\f[BIRP])"), "");
  return std::regex_replace(page, std::regex(R"(\\-)"), "-");
}

// The paragraph of the manual page that describes `command`: from its
// ".B command" line to the next paragraph; empty when there is none.
std::string ManEntry(const std::string& man, const std::string& command) {
  const std::regex head("\n\\.B " + command + "( [^\n]*)?\n");
  std::smatch match;
  if (!std::regex_search(man, match, head)) return "";
  const size_t from = static_cast<size_t>(match.position(0));
  size_t to = man.size();
  for (const char* next : {"\n.TP", "\n.SS", "\n.SH"}) to = std::min(to, man.find(next, from + 1));
  return man.substr(from, to - from);
}

// The lines of docs/obrix-board.md that show `command`, each with the
// indented lines that continue it.
std::string GuideSynopses(const std::string& guide, const std::string& command) {
  const std::regex line("(^|\n)obrix-board " + command + "( [^\n]*)?(\n[ \t]+[^\n]*)*(?=\n)");
  std::string out;
  for (std::sregex_iterator it(guide.begin(), guide.end(), line), end; it != end; ++it) {
    out += it->str();
  }
  return out;
}

// The keys of docs/obrix-board.md's tables: the first cells "| `KEY` |".
std::set<std::string> GuideTableKeys(const std::string& guide) {
  const std::regex row("\n\\| `([^`]+)` \\|");
  std::set<std::string> out;
  for (std::sregex_iterator it(guide.begin(), guide.end(), row), end; it != end; ++it) {
    out.insert((*it)[1]);
  }
  return out;
}

// The rows of docs/obrix-board.md's table of the packet settings, each
// as its cells, code marks dropped: "KEY|meaning|values|default".
std::vector<std::string> GuideSettingRows(const std::string& guide) {
  const std::string head = "| Setting | Meaning | Range | Built-in default |\n|---|---|---|---|\n";
  std::vector<std::string> out;
  const size_t at = guide.find(head);
  if (at == std::string::npos) return out;
  std::istringstream lines(guide.substr(at + head.size()));
  for (std::string line; std::getline(lines, line) && line.rfind("| ", 0) == 0;) {
    line.erase(std::remove(line.begin(), line.end(), '`'), line.end());
    out.push_back(std::regex_replace(line.substr(2, line.size() - 4), std::regex(" \\| "), "|"));
  }
  return out;
}

TEST(ToolDocsTest, GuideTablesThePacketSettingsAsTheToolChecksThem) {
  const std::string guide = ReadFile(std::string(OBRIX_SOURCE_DIR) + "/docs/obrix-board.md");
  std::vector<std::string> expected;
  for (const PacketSetting& setting : PacketSettings()) {
    expected.push_back(setting.key + "|" + setting.meaning + "|" + AllowedValues(setting) + "|" +
                       setting.fallback.value_or("none"));
  }
  EXPECT_EQ(GuideSettingRows(guide), expected);
}

TEST(ToolDocsTest, EveryCommandOptionAndKeyOfTheToolIsDocumented) {
  const std::string source = OBRIX_SOURCE_DIR;
  const std::string man = ManText(ReadFile(source + "/docs/man/obrix-board.1.in"));
  const std::string guide = ReadFile(source + "/docs/obrix-board.md");
  const ToolResult help = RunToolInProcess({"--help"});
  ASSERT_EQ(help.status, 0);
  const std::vector<ListedCommand> commands = ListedCommands(help.out);
  ASSERT_GT(commands.size(), 40u) << help.out;

  for (const ListedCommand& command : commands) {
    const std::string entry = ManEntry(man, command.name);
    const std::string synopses = GuideSynopses(guide, command.name);
    EXPECT_FALSE(entry.empty()) << "the manual page lacks " << command.name;
    EXPECT_FALSE(synopses.empty()) << "docs/obrix-board.md shows no obrix-board " << command.name;
    for (const std::string& option : command.options) {
      EXPECT_THAT(entry, HasSubstr(option)) << "the manual page, " << command.name;
      EXPECT_THAT(synopses, HasSubstr(option)) << "docs/obrix-board.md, " << command.name;
    }
  }

  // The keys, by the tables that the tool checks them against.
  const std::set<std::string> guideKeys = GuideTableKeys(guide);
  const std::string configHelp = RunToolInProcess({"config", "--help"}).out;
  const std::string configEntry = ManEntry(man, "config");
  for (const std::string& key : board::ConfigKeys()) {
    EXPECT_THAT(configHelp, AnyOf(HasSubstr(key + " ("), HasSubstr(key + ", ")));
    EXPECT_THAT(configEntry, HasSubstr("\n.B " + key + "\n"));
    EXPECT_THAT(guideKeys, Contains(key));
  }
  const std::string settingsHelp = RunToolInProcess({"var", "set", "--help"}).out;
  const std::string settingsEntry = ManEntry(man, "var set");
  for (const PacketSetting& setting : PacketSettings()) {
    EXPECT_THAT(settingsHelp, HasSubstr(setting.key));
    EXPECT_THAT(settingsEntry, HasSubstr(setting.key));
    EXPECT_THAT(guideKeys, Contains(setting.key));
  }
}

}  // namespace
}  // namespace obrix::testing
