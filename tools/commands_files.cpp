// File areas, files and server files: area, file, screen.
#include <algorithm>
#include <iostream>
#include <string_view>

#include "admin/board_admin.h"
#include "base/text.h"
#include "platform/clock.h"
#include "tool_commands.h"
#include "tool_output.h"
#include "tool_text.h"

namespace obrix::tool {

namespace {

using board::BoardAdmin;

int AreaAdd(const Arguments& args, const std::string& path) {
  const int32_t number = ToInt32(args.Positional(0), "NUMBER");
  BoardAdmin::Open(path).AddArea(number, args.Positional(1), args.Flag("--exclude"));
  std::cout << "Added file area " << number << " " << Shown(args.Positional(1)) << "\n";
  return 0;
}

int AreaList(const Arguments& args, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  Listing listing(
      {{"number", "number"}, {"name", "name"}, {"excluded", "excluded"}, {"files", "files"}});
  for (const board::AreaSummary& area : admin.ListAreas()) {
    listing.Add({Cell::Number(area.number), Cell::Text(area.name), Cell::Flag(area.exclude),
                 Cell::Number(area.fileCount)});
  }
  PrintListing(listing, FormatOf(args), std::cout);
  return 0;
}

int AreaDelete(const Arguments& args, const std::string& path) {
  const int32_t number = ToInt32(args.Positional(0), "NUMBER");
  BoardAdmin::Open(path).DeleteArea(number, args.Flag("--with-files"));
  std::cout << "Deleted file area " << number << "\n";
  return 0;
}

int FileAdd(const Arguments& args, const std::string& path) {
  const int32_t area = ToInt32(args.Positional(0), "AREA");
  const int32_t size = ToInt32(*args.Value("--size"), "--size");
  const FILETIME date =
      args.Value("--date") ? ToDate(*args.Value("--date"), "--date") : LocalNowFileTime();
  BoardAdmin::Open(path).AddFile(area, args.Positional(1), size, *args.Value("--desc"), date);
  std::cout << "Added " << Shown(args.Positional(1)) << " to file area " << area << "\n";
  return 0;
}

int FileList(const Arguments& args, const std::string& path) {
  std::optional<int32_t> area;
  if (args.PositionalCount() > 0) area = ToInt32(args.Positional(0), "AREA");
  BoardAdmin admin = BoardAdmin::Open(path);
  Listing listing({{"area", "area"},
                   {"name", "name"},
                   {"size", "size"},
                   {"date", "date"},
                   {"description", "description"}});
  for (const board::FileSummary& file : admin.ListFiles(area)) {
    listing.Add({Cell::Number(file.area), Cell::Text(file.name), Cell::Number(file.size),
                 Cell::Date(file.date), Cell::Text(file.description)});
  }
  PrintListing(listing, FormatOf(args), std::cout, "No files.");
  return 0;
}

int FileDelete(const Arguments& args, const std::string& path) {
  const int32_t area = ToInt32(args.Positional(0), "AREA");
  const int32_t deleted = BoardAdmin::Open(path).DeleteFile(area, args.Positional(1));
  std::cout << "Deleted " << deleted << (deleted == 1 ? " entry" : " entries") << " of "
            << Shown(args.Positional(1)) << "\n";
  return 0;
}

// A screen's text, read in the terminal's set, as the board's bytes; a
// character that cannot be converted is refused with its line's number,
// before anything is stored. With --raw the bytes pass as they are.
std::string ScreenText(const std::string& file, const std::string& bytes) {
  if (Terminal().raw()) return bytes;
  std::string board;
  board.reserve(bytes.size());
  size_t start = 0;
  for (int line = 1; start < bytes.size(); ++line) {
    const size_t end = std::min(bytes.find('\n', start), bytes.size() - 1) + 1;
    board += Terminal().ToBoard(file + ", line " + std::to_string(line),
                                std::string_view(bytes).substr(start, end - start));
    start = end;
  }
  return board;
}

int ScreenPut(const Arguments& args, const std::string& path) {
  const std::string& file = args.Positional(1);
  const std::string bytes = ScreenText(file, ReadLocalFile(file));
  BoardAdmin admin = BoardAdmin::Open(path);
  admin.PutServerFile(args.Positional(0), bytes);
  std::cout << "Stored " << Shown(args.Positional(0)) << " (" << bytes.size() << " bytes)\n";
  return 0;
}

int ScreenList(const Arguments& args, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  Listing listing({{"path", "path"}, {"size", "size"}});
  for (const board::ServerFileSummary& file : admin.ListScreens()) {
    listing.Add({Cell::Text(file.path), Cell::Number(file.size)});
  }
  PrintListing(listing, FormatOf(args), std::cout, "No screens.");
  return 0;
}

int ScreenDelete(const Arguments& args, const std::string& path) {
  BoardAdmin::Open(path).DeleteScreen(args.Positional(0));
  std::cout << "Deleted " << Shown(args.Positional(0)) << "\n";
  return 0;
}

// area add, list, delete.
void AddAreaCommands(std::vector<Command>& commands) {
  commands.push_back(
      {{"area add",
        {"NUMBER", "NAME"},
        {{"--exclude", ""}},
        "Add a file area (numbered from 1; --exclude keeps it out of new-files lists).",
        "Names have 32 characters at most.\n"
        "Example: obrix-board area add 1 Uploads\n"},
       AreaAdd});
  commands.push_back({{"area list",
                       {},
                       Listed({}),
                       "List the file areas.",
                       "Columns (JSON fields): number, name, excluded, files.\n"},
                      AreaList});
  commands.push_back({{"area delete",
                       {"NUMBER"},
                       {{"--with-files", ""}},
                       "Delete a file area (refused while it holds files unless --with-files).",
                       ""},
                      AreaDelete});
}

// file add, list, delete; screen put, list, delete.
void AddEntryCommands(std::vector<Command>& commands) {  // NOLINT(readability-function-size)
  commands.push_back(
      {{"file add",
        {"AREA", "NAME"},
        {{"--size", "BYTES", true}, {"--desc", "TEXT", true}, {"--date", "\"YYYY-MM-DD HH:MM\""}},
        "Add a file entry to a file area (dated now unless --date).",
        "Names have 16 characters at most, descriptions 76.\n"
        "Example: obrix-board file add 1 MODEMFAQ.TXT --size 31544 --desc \"Modem FAQ\"\n"},
       FileAdd});
  commands.push_back({{"file list",
                       {"AREA?"},
                       Listed({}),
                       "List the file entries (of one area).",
                       "Columns (JSON fields): area, name, size, date, description.\n"},
                      FileList});
  commands.push_back({{"file delete",
                       {"AREA", "NAME"},
                       {},
                       "Delete the entries of that name (any letter case) in a file area.",
                       ""},
                      FileDelete});
  commands.push_back(
      {{"screen put",
        {"SERVERPATH", "FILE"},
        {},
        "Store a display screen (or any server file) from a local file.",
        "Server paths are matched without regard to letter case; an existing file of\n"
        "that path is replaced. The file's text is converted from the locale's\n"
        "character set to the board's Windows-1252, as readers are shown it; a\n"
        "character Windows-1252 lacks is refused with its line, and nothing is\n"
        "stored. --raw stores the file byte for byte (a screen in Windows-1252 or\n"
        "code page 437 already, ANSI art, or any file that is not text).\n"
        "Example: obrix-board screen put 'wc:\\disp\\hello1.bbs' hello1.bbs\n"},
       ScreenPut});
  commands.push_back({{"screen list",
                       {},
                       Listed({}),
                       "List the display screens (the server files that are not attachments).",
                       "Columns (JSON fields): path, size (bytes).\n"},
                      ScreenList});
  commands.push_back(
      {{"screen delete", {"SERVERPATH"}, {}, "Delete a display screen.", ""}, ScreenDelete});
}

}  // namespace

void AddFileCommands(std::vector<Command>& commands) {
  AddAreaCommands(commands);
  AddEntryCommands(commands);
}

}  // namespace obrix::tool
