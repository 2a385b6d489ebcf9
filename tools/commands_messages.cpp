// Conferences and messages: conf, post, messages, show, attach, message.
#include <iostream>
#include <nlohmann/json.hpp>

#include "admin/board_admin.h"
#include "base/text.h"
#include "tool_commands.h"
#include "tool_output.h"
#include "tool_text.h"

namespace obrix::tool {

namespace {

using board::BoardAdmin;

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string name = Trim(list.substr(start, comma - start));
    if (!name.empty()) names.push_back(name);
    start = comma + 1;
  }
  return names;
}

int ConfAdd(const Arguments& args, const std::string& path) {
  const int32_t number = ToInt32(args.Positional(0), "NUMBER");
  const uint32_t flags = args.Value("--default-flags")
                             ? ToFlags(*args.Value("--default-flags"), "--default-flags")
                             : 3;
  std::vector<std::string> readers;
  if (auto list = args.Value("--readers")) {
    readers = SplitNames(*list);
    if (readers.empty()) throw UsageError("conf add: --readers names no user");
  }
  const int32_t mode = args.Value("--mode") ? ToInt32(*args.Value("--mode"), "--mode") : 0;
  BoardAdmin::Open(path).AddConference(number, args.Positional(1), flags, readers, mode);
  std::cout << "Added conference " << number << " " << Shown(args.Positional(1)) << "\n";
  return 0;
}

int ConfList(const Arguments& args, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  Listing listing({{"number", "number"},
                   {"name", "name"},
                   {"default flags", "default_flags"},
                   {"messages", "messages"},
                   {"mode", "mode"},
                   {"readers", "readers"}});
  for (const board::ConferenceSummary& conference : admin.ListConferences()) {
    Cell readers = Cell::Names(conference.readers);
    if (conference.readers.empty()) readers = std::move(readers).Showing("everybody");
    listing.Add({Cell::Number(conference.number), Cell::Text(conference.name),
                 Cell::Number(conference.defaultFlags), Cell::Number(conference.messageCount),
                 Cell::Number(conference.mode), std::move(readers)});
  }
  PrintListing(listing, FormatOf(args), std::cout);
  return 0;
}

int ConfSet(const Arguments& args, const std::string& path) {
  const int32_t number = ToInt32(args.Positional(0), "NUMBER");
  board::ConferenceEdit edit;
  edit.name = args.Value("--name");
  if (auto v = args.Value("--default-flags")) edit.defaultFlags = ToFlags(*v, "--default-flags");
  if (auto list = args.Value("--readers")) edit.readers = SplitNames(*list);
  if (auto v = args.Value("--mode")) edit.mode = ToInt32(*v, "--mode");
  if (!edit.name && !edit.defaultFlags && !edit.readers && !edit.mode) {
    throw UsageError(
        "conf set: nothing to change (give --name, --default-flags, --readers or --mode)");
  }
  BoardAdmin::Open(path).EditConference(number, edit);
  return 0;
}

int ConfDelete(const Arguments& args, const std::string& path) {
  const int32_t number = ToInt32(args.Positional(0), "NUMBER");
  BoardAdmin::Open(path).DeleteConference(number, args.Flag("--with-messages"));
  std::cout << "Deleted conference " << number << "\n";
  return 0;
}

int Post(const Arguments& args, const std::string& path) {
  board::PostRequest request;
  request.conference = ToInt32(*args.Value("--conf"), "--conf");
  request.from = *args.Value("--from");
  request.to = *args.Value("--to");
  request.subject = *args.Value("--subject");
  request.isPrivate = args.Flag("--private");
  request.receipt = args.Flag("--receipt");
  if (auto v = args.Value("--reference")) request.reference = ToInt32(*v, "--reference");
  if (auto v = args.Value("--date")) request.date = ToDate(*v, "--date");
  BoardAdmin admin = BoardAdmin::Open(path);  // before reading a possibly long input
  request.text = ReadText(args.Value("--text-file"));
  const board::PostResult posted = admin.Post(request);
  std::cout << "id " << posted.id << " number " << posted.number << "\n";
  return 0;
}

// The columns of `messages`; `show --tsv/--json` adds from_id, to_id and
// text.
std::vector<Column> MessageColumns() {
  return {{"id", "id"},           {"conference", "conference"},
          {"number", "number"},   {"from", "from"},
          {"to", "to"},           {"subject", "subject"},
          {"private", "private"}, {"received", "received"},
          {"receipt", "receipt"}, {"reference", "reference"},
          {"date", "date"}};
}

std::vector<Cell> MessageCells(const board::MessageSummary& m) {
  Cell reference = Cell::Number(m.reference);
  if (!m.reference) reference = std::move(reference).Showing("");
  return {Cell::Number(m.id),      Cell::Number(m.conference), Cell::Number(m.number),
          Cell::Text(m.from),      Cell::Text(m.to),           Cell::Text(m.subject),
          Cell::Flag(m.isPrivate), Cell::Flag(m.received),     Cell::Flag(m.receiptRequested),
          std::move(reference),    Cell::Date(m.messageTime)};
}

int Messages(const Arguments& args, const std::string& path) {
  std::optional<int32_t> conference;
  if (auto v = args.Value("--conf")) conference = ToInt32(*v, "--conf");
  BoardAdmin admin = BoardAdmin::Open(path);
  Listing listing(MessageColumns());
  for (const board::MessageSummary& m : admin.ListMessages(conference, args.Value("--user"))) {
    listing.Add(MessageCells(m));
  }
  PrintListing(listing, FormatOf(args), std::cout);
  return 0;
}

std::string Party(const std::string& name, int32_t id) {
  return id ? Shown(name) + " (user " + Decimal(id) + ")" : Shown(name);
}

void PrintMessage(const board::MessageSummary& message) {
  std::string flags;
  for (const auto& [set, word] :
       {std::pair{message.isPrivate, "private"}, std::pair{message.received, "received"},
        std::pair{message.receiptRequested, "receipt requested"}}) {
    if (set) flags += (flags.empty() ? "" : ", ") + std::string(word);
  }
  std::cout << "Message:    " << message.id << " (number " << message.number << " in conference "
            << message.conference << ")\n"
            << "From:       " << Party(message.from, message.fromId) << "\n"
            << "To:         " << Party(message.to, message.toId) << "\n"
            << "Subject:    " << Shown(message.subject) << "\n"
            << "Date:       " << FormatDate(message.messageTime) << "\n";
  if (!flags.empty()) std::cout << "Flags:      " << flags << "\n";
  if (message.reference) std::cout << "Reference:  " << message.reference << "\n";
  std::cout << "\n" << Terminal().Shown(message.text, /*lineEnds=*/true);
  if (!message.text.empty() && message.text.back() != '\n') std::cout << "\n";
}

int Show(const Arguments& args, const std::string& path) {
  const int32_t id = ToInt32(args.Positional(0), "ID");
  const OutputFormat format = FormatOf(args);
  const auto message = BoardAdmin::Open(path).Show(id);
  if (!message) throw std::invalid_argument("no message " + Decimal(id));
  if (format == OutputFormat::kTable) {
    PrintMessage(*message);
    return 0;
  }
  std::vector<Column> columns = MessageColumns();
  columns.insert(columns.end(), {{"from id", "from_id"}, {"to id", "to_id"}, {"text", "text"}});
  Listing listing(std::move(columns));
  std::vector<Cell> cells = MessageCells(*message);
  cells.push_back(Cell::Number(message->fromId));
  cells.push_back(Cell::Number(message->toId));
  cells.push_back(Cell::Text(message->text));
  listing.Add(std::move(cells));
  if (format == OutputFormat::kJson) {
    PrintJson(listing.ToJson()[0], std::cout);
  } else {
    listing.PrintTsv(std::cout);
  }
  return 0;
}

int Attach(const Arguments& args, const std::string& path) {
  const int32_t id = ToInt32(args.Positional(0), "MSGID");
  BoardAdmin admin = BoardAdmin::Open(path);
  const std::string bytes = ReadLocalFile(args.Positional(1));
  admin.Attach(id, bytes);
  std::cout << "Attached " << bytes.size() << " bytes to message " << id << "\n";
  return 0;
}

int MessageDelete(const Arguments& args, const std::string& path) {
  std::vector<int32_t> ids;
  for (const std::string& word : args.PositionalsFrom(0)) ids.push_back(ToInt32(word, "ID"));
  BoardAdmin::Open(path).DeleteMessages(ids);
  std::cout << "Deleted " << ids.size() << (ids.size() == 1 ? " message" : " messages") << "\n";
  return 0;
}

int MessageEdit(const Arguments& args, const std::string& path) {
  const int32_t id = ToInt32(args.Positional(0), "ID");
  if (args.Flag("--private") && args.Flag("--public")) {
    throw UsageError("message edit: give --private or --public, not both");
  }
  board::MessageEdit edit;
  edit.subject = args.Value("--subject");
  if (args.Flag("--private") || args.Flag("--public")) edit.isPrivate = args.Flag("--private");
  BoardAdmin admin = BoardAdmin::Open(path);
  if (auto file = args.Value("--text-file")) edit.text = ReadText(file);
  if (!edit.subject && !edit.text && !edit.isPrivate) {
    throw UsageError(
        "message edit: nothing to change (give --subject, --text-file, --private or"
        " --public)");
  }
  admin.EditMessage(id, edit);
  return 0;
}

// conf add, list, set, delete.
void AddConferenceCommands(std::vector<Command>& commands) {  // NOLINT(readability-function-size)
  commands.push_back(
      {{"conf add",
        {"NUMBER", "NAME"},
        {{"--default-flags", "N"}, {"--readers", "NAME,NAME..."}, {"--mode", "N"}},
        "Add a conference.",
        "Numbers run from 0 to 999999, gaps allowed; names have 60 characters at most.\n"
        "--default-flags (default 3) are the flags of a user who has none of his own.\n"
        "--readers restricts the conference to the users listed.\n"
        "--mode (default 0) decides whether the replies posted there are private:\n"
        "2, 3, 4 all private; 1, 5, 6, 7 all public; 0 as each reply is marked.\n"
        "Example: obrix-board conf add 3 \"Sysop Only\" --readers SYSOP\n"},
       ConfAdd});
  commands.push_back({{"conf list",
                       {},
                       Listed({}),
                       "List the conferences.",
                       "Columns (--tsv/--json name): number, name, default flags (default_flags),\n"
                       "messages, mode, readers (a JSON array, empty when everybody may read).\n"},
                      ConfList});
  commands.push_back(
      {{"conf set",
        {"NUMBER"},
        {{"--name", "TEXT"},
         {"--default-flags", "N"},
         {"--readers", "NAME,NAME..."},
         {"--mode", "N"}},
        "Change a conference's name, default flags, readers or mode.",
        "--readers replaces the list of readers; --readers \"\" opens the conference\n"
        "to everybody. --mode as for conf add.\n"
        "Example: obrix-board conf set 3 --readers \"SYSOP,JANE DOE\"\n"},
       ConfSet});
  commands.push_back(
      {{"conf delete",
        {"NUMBER"},
        {{"--with-messages", ""}},
        "Delete a conference (refused while it holds messages unless --with-messages).",
        "Its messages and their attachments, and every user's flags and last-read\n"
        "pointer in it, go with it.\n"},
       ConfDelete});
}

// message delete, edit.
void AddMessageEditCommands(std::vector<Command>& commands) {
  commands.push_back(
      {{"message delete",
        {"ID..."},
        {},
        "Delete messages and their attachments (all or none).",
        "A last-read pointer that named a deleted message moves back to the message\n"
        "before it, so the next download goes on where it would have.\n"
        "Example: obrix-board message delete 812 813\n"},
       MessageDelete});
  commands.push_back(
      {{"message edit",
        {"ID"},
        {{"--subject", "TEXT"}, {"--text-file", "FILE"}, {"--private", ""}, {"--public", ""}},
        "Change a message's subject, text or privacy.",
        "The text comes from FILE ('-': standard input), in the terminal's character\n"
        "set as for post.\n"},
       MessageEdit});
}

}  // namespace

void AddMessageCommands(std::vector<Command>& commands) {
  AddConferenceCommands(commands);
  commands.push_back(
      {{"post",
        {},
        {{"--conf", "N", true},
         {"--from", "NAME", true},
         {"--to", "NAME", true},
         {"--subject", "TEXT", true},
         {"--private", ""},
         {"--receipt", ""},
         {"--reference", "ID"},
         {"--date", "\"YYYY-MM-DD HH:MM\""},
         {"--text-file", "FILE"}},
        "Post a message; prints its id and number (\"id 12 number 5\").",
        "The text comes from FILE, or from standard input when no file is named (or\n"
        "FILE is -), in the terminal's character set (with --raw: byte for byte); it\n"
        "may be empty. A --from or --to name that is a user's\n"
        "stands for that user; any other name (ALL, a name from another network) is\n"
        "kept exactly as typed. The message time is --date, else now.\n"
        "Example: echo 'Hello there' | obrix-board post --conf 1 --from sysop \\\n"
        "           --to \"Jane Doe\" --subject Welcome --private\n"},
       Post});
  commands.push_back(
      {{"messages",
        {},
        Listed({{"--conf", "N"}, {"--user", "NAME"}}),
        "List messages (of one conference, and/or sent by or to one user).",
        "Columns (the same JSON fields): id, conference, number, from, to, subject,\n"
        "private, received, receipt (requested), reference, date. --tsv prints them\n"
        "tab-separated with a header line, flags as 1 and 0.\n"},
       Messages});
  commands.push_back({{"show",
                       {"ID"},
                       Listed({}),
                       "Show a message's header and text.",
                       "--json prints one object, --tsv a header line and one row: the columns\n"
                       "of 'messages', then from_id and to_id (0: no user's) and text (in --tsv\n"
                       "its line ends become blanks; --json keeps them).\n"},
                      Show});
  commands.push_back({{"attach",
                       {"MSGID", "FILE"},
                       {},
                       "Attach a file to a message.",
                       "Stored as the server file wc:\\conf(N)\\message(MSGID)\\attach.\n"},
                      Attach});
  AddMessageEditCommands(commands);
}

}  // namespace obrix::tool
