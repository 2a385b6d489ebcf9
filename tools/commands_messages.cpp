// Conferences and messages: conf, post, messages, show, attach.
#include <iostream>

#include "admin/board_admin.h"
#include "base/text.h"
#include "tool_commands.h"
#include "tool_output.h"

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
  std::cout << "Added conference " << number << " " << args.Positional(1) << "\n";
  return 0;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

int ConfList(const Arguments&, const std::string& path) {
  BoardAdmin admin = BoardAdmin::Open(path);
  Table table({"number", "name", "default flags", "messages", "readers"});
  for (const board::ConferenceSummary& conference : admin.ListConferences()) {
    table.Add({Decimal(conference.number), conference.name, Decimal(conference.defaultFlags),
               Decimal(conference.messageCount),
               conference.readers.empty() ? "everybody" : JoinNames(conference.readers)});
  }
  table.Print(std::cout);
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
  const auto file = args.Value("--text-file");
  request.text = file && *file != "-" ? ReadLocalFile(*file) : ReadStandardInput();
  const board::PostResult posted = admin.Post(request);
  std::cout << "id " << posted.id << " number " << posted.number << "\n";
  return 0;
}

std::string YesNo(bool value, bool tsv) { return tsv ? (value ? "1" : "0") : (value ? "yes" : ""); }

int Messages(const Arguments& args, const std::string& path) {
  std::optional<int32_t> conference;
  if (auto v = args.Value("--conf")) conference = ToInt32(*v, "--conf");
  const bool tsv = args.Flag("--tsv");
  BoardAdmin admin = BoardAdmin::Open(path);
  Table table({"id", "conference", "number", "from", "to", "subject", "private", "received",
               "receipt", "reference"});
  for (const board::MessageSummary& m : admin.ListMessages(conference, args.Value("--user"))) {
    table.Add({Decimal(m.id), Decimal(m.conference), Decimal(m.number), m.from, m.to, m.subject,
               YesNo(m.isPrivate, tsv), YesNo(m.received, tsv), YesNo(m.receiptRequested, tsv),
               tsv || m.reference ? Decimal(m.reference) : ""});
  }
  if (tsv) {
    table.PrintTsv(std::cout);
  } else {
    table.Print(std::cout);
  }
  return 0;
}

std::string Party(const std::string& name, int32_t id) {
  return id ? name + " (user " + Decimal(id) + ")" : name;
}

int Show(const Arguments& args, const std::string& path) {
  const int32_t id = ToInt32(args.Positional(0), "ID");
  const auto message = BoardAdmin::Open(path).Show(id);
  if (!message) throw std::invalid_argument("no message " + Decimal(id));
  std::string flags;
  for (const auto& [set, word] :
       {std::pair{message->isPrivate, "private"}, std::pair{message->received, "received"},
        std::pair{message->receiptRequested, "receipt requested"}}) {
    if (set) flags += (flags.empty() ? "" : ", ") + std::string(word);
  }
  std::cout << "Message:    " << message->id << " (number " << message->number << " in conference "
            << message->conference << ")\n"
            << "From:       " << Party(message->from, message->fromId) << "\n"
            << "To:         " << Party(message->to, message->toId) << "\n"
            << "Subject:    " << message->subject << "\n"
            << "Date:       " << FormatDate(message->messageTime) << "\n";
  if (!flags.empty()) std::cout << "Flags:      " << flags << "\n";
  if (message->reference) std::cout << "Reference:  " << message->reference << "\n";
  std::cout << "\n" << message->text;
  if (!message->text.empty() && message->text.back() != '\n') std::cout << "\n";
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

}  // namespace

void AddMessageCommands(std::vector<Command>& commands) {
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
  commands.push_back({{"conf list", {}, {}, "List the conferences.", ""}, ConfList});
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
        "The text comes from FILE, or from standard input when no file is named; it is\n"
        "stored byte for byte and may be empty. A --from or --to name that is a user's\n"
        "stands for that user; any other name (ALL, a name from another network) is\n"
        "kept exactly as typed. The message time is --date, else now.\n"
        "Example: echo 'Hello there' | obrix-board post --conf 1 --from sysop \\\n"
        "           --to \"Jane Doe\" --subject Welcome --private\n"},
       Post});
  commands.push_back(
      {{"messages",
        {},
        {{"--conf", "N"}, {"--user", "NAME"}, {"--tsv", ""}},
        "List messages (of one conference, and/or sent by or to one user).",
        "Columns: id, conference, number, from, to, subject, private, received,\n"
        "receipt (requested), reference. --tsv prints them tab-separated with a header\n"
        "line, flags as 1 and 0.\n"},
       Messages});
  commands.push_back({{"show", {"ID"}, {}, "Show a message's header and text.", ""}, Show});
  commands.push_back({{"attach",
                       {"MSGID", "FILE"},
                       {},
                       "Attach a file to a message.",
                       "Stored as the server file wc:\\conf(N)\\message(MSGID)\\attach.\n"},
                      Attach});
}

}  // namespace obrix::tool
