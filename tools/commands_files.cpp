// File areas, files and server files: area, file, screen.
#include <iostream>

#include "admin/board_admin.h"
#include "base/text.h"
#include "platform/clock.h"
#include "tool_commands.h"
#include "tool_output.h"

namespace obrix::tool {

namespace {

using board::BoardAdmin;

int AreaAdd(const Arguments& args, const std::string& path) {
  const int32_t number = ToInt32(args.Positional(0), "NUMBER");
  BoardAdmin::Open(path).AddArea(number, args.Positional(1), args.Flag("--exclude"));
  std::cout << "Added file area " << number << " " << args.Positional(1) << "\n";
  return 0;
}

int AreaList(const Arguments&, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  Table table({"number", "name", "excluded", "files"});
  for (const board::AreaSummary& area : admin.ListAreas()) {
    table.Add(
        {Decimal(area.number), area.name, area.exclude ? "yes" : "", Decimal(area.fileCount)});
  }
  table.Print(std::cout);
  return 0;
}

int FileAdd(const Arguments& args, const std::string& path) {
  const int32_t area = ToInt32(args.Positional(0), "AREA");
  const int32_t size = ToInt32(*args.Value("--size"), "--size");
  const FILETIME date =
      args.Value("--date") ? ToDate(*args.Value("--date"), "--date") : LocalNowFileTime();
  BoardAdmin::Open(path).AddFile(area, args.Positional(1), size, *args.Value("--desc"), date);
  std::cout << "Added " << args.Positional(1) << " to file area " << area << "\n";
  return 0;
}

int ScreenPut(const Arguments& args, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  const std::string bytes = ReadLocalFile(args.Positional(1));
  admin.PutServerFile(args.Positional(0), bytes);
  std::cout << "Stored " << args.Positional(0) << " (" << bytes.size() << " bytes)\n";
  return 0;
}

}  // namespace

void AddFileCommands(std::vector<Command>& commands) {
  commands.push_back(
      {{"area add",
        {"NUMBER", "NAME"},
        {{"--exclude", ""}},
        "Add a file area (numbered from 1; --exclude keeps it out of new-files lists).",
        "Names have 32 characters at most.\n"
        "Example: obrix-board area add 1 Uploads\n"},
       AreaAdd});
  commands.push_back({{"area list", {}, {}, "List the file areas.", ""}, AreaList});
  commands.push_back(
      {{"file add",
        {"AREA", "NAME"},
        {{"--size", "BYTES", true}, {"--desc", "TEXT", true}, {"--date", "\"YYYY-MM-DD HH:MM\""}},
        "Add a file entry to a file area (dated now unless --date).",
        "Names have 16 characters at most, descriptions 76.\n"
        "Example: obrix-board file add 1 MODEMFAQ.TXT --size 31544 --desc \"Modem FAQ\"\n"},
       FileAdd});
  commands.push_back(
      {{"screen put",
        {"SERVERPATH", "FILE"},
        {},
        "Store a display screen (or any server file) from a local file.",
        "Server paths are matched without regard to letter case; an existing file of\n"
        "that path is replaced.\n"
        "Example: obrix-board screen put 'wc:\\disp\\hello1.bbs' hello1.bbs\n"},
       ScreenPut});
}

}  // namespace obrix::tool
