#include "admin_demo.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "admin_random.h"
#include "base/text.h"
#include "board/tables.h"
#include "platform/clock.h"
#include "server/server.h"
#include "server/server_path.h"

namespace obrix::board {

namespace {

using admin::Random;

constexpr uint64_t kMinuteTicks = 600'000'000;
constexpr uint64_t kHourTicks = 60 * kMinuteTicks;
constexpr uint64_t kDayTicks = 24 * kHourTicks;

constexpr const char* kRegulars[] = {"ALICE WALKER", "BOB MARTIN", "CAROL DIAZ", "DAVE KOWALSKI",
                                     "ERIN OBRIEN"};
constexpr const char* kRegularsPassword = "SECRET";

constexpr const char* kTopics[] = {
    "Modem settings",  "Weekend plans",  "New door game",     "QWK reader of choice",
    "Echo rules",      "Upload ratios",  "Old hardware",      "Compiler trouble",
    "Network news",    "File request",   "Late night chat",   "Bug report",
    "Software review", "Screen colours", "Mail not arriving", "Favourite editor",
    "Backup habits",   "Retro games",    "Keyboard clicks",   "Fastest route home"};

constexpr const char* kSentences[] = {
    "I finally got the new modem to connect at full speed last night.",
    "Has anybody tried the offline reader that came out last month?",
    "The door game tournament starts on Saturday, sign up in the lobby.",
    "My packet came through fine this morning, thanks for the help.",
    "Please keep the echo on topic, there are other conferences for chat.",
    "I uploaded the file you asked for to the uploads area.",
    "The compiler complains about a missing header, any idea why?",
    "Remember to set your new-files date before your next download.",
    "I read all my mail offline on the train now, it saves a lot of time.",
    "Does the board keep the old messages after a month or so?",
    "The screen colours look odd in my terminal program.",
    "Thanks to everyone who came to the meeting on Thursday.",
    "I will bring the spare cables next time we meet.",
    "Tried it again with a fresh configuration and it works now.",
    "Who else remembers the days of 300 baud?"};

struct Plan {
  int32_t conference = 0;
  std::string from;
  std::string to;
  std::string subject;
  bool isPrivate = false;
  bool receipt = false;
  int referencePlan = -1;  // index of the planned message this one answers; -2: the one before
  std::string text;
  bool attach = false;
};

// "ALICE WALKER" signs as "Alice".
std::string FirstName(const std::string& name) {
  std::string first = name.substr(0, name.find(' '));
  for (size_t i = 1; i < first.size(); ++i) {
    if (first[i] >= 'A' && first[i] <= 'Z') first[i] = static_cast<char>(first[i] - 'A' + 'a');
  }
  return first;
}

// Words wrapped at 70 columns, line feed line ends, the sender's name below.
std::string Wrap(const std::string& words, const std::string& from) {
  std::string text;
  size_t column = 0;
  size_t start = 0;
  while (start < words.size()) {
    size_t end = words.find(' ', start);
    if (end == std::string::npos) end = words.size();
    const std::string word = words.substr(start, end - start);
    if (column > 0 && column + 1 + word.size() > 70) {
      text += '\n';
      column = 0;
    } else if (column > 0) {
      text += ' ';
      ++column;
    }
    text += word;
    column += word.size();
    start = end + 1;
  }
  return text + "\n\n-- " + FirstName(from) + "\n";
}

std::string FillerText(Random& random, const std::string& from) {
  // Two to six different sentences.
  constexpr size_t kCount = sizeof kSentences / sizeof kSentences[0];
  std::vector<bool> used(kCount, false);
  std::string words;
  const int64_t count = random.Between(2, 6);
  for (int64_t i = 0; i < count; ++i) {
    size_t pick = static_cast<size_t>(random.Below(kCount));
    while (used[pick]) pick = (pick + 1) % kCount;
    used[pick] = true;
    words += std::string(i ? " " : "") + kSentences[pick];
  }
  return Wrap(words, from);
}

Plan Filler(Random& random, std::map<int32_t, int>& lastInConference, int index) {
  static constexpr const char* kPosters[] = {kRegulars[0], kRegulars[1], kRegulars[2],
                                             kRegulars[3], kRegulars[4], kDemoSysop};
  Plan plan;
  const uint64_t where = random.Below(100);
  plan.conference = where < 20 ? 0 : where < 55 ? 1 : where < 88 ? 2 : where < 94 ? 4 : 5;
  plan.from = random.Chance(0.1) ? kDemoCaller : random.Pick(kPosters);
  plan.to = "ALL";
  if (plan.conference == 4) {
    plan.from = kDemoSysop;  // only the sysop announces
  } else {
    const uint64_t kind = random.Below(100);
    if (kind >= 60 && kind < 80) {
      plan.to = random.Pick(kPosters);
    } else if (kind >= 80 && kind < 90 && plan.from != kDemoCaller) {
      plan.to = kDemoCaller;
    } else if (kind >= 90) {
      plan.isPrivate = true;
      plan.to = plan.from == kDemoCaller ? random.Pick(kRegulars) : kDemoCaller;
    }
    if (plan.to == plan.from) {
      plan.to = "ALL";
      plan.isPrivate = false;
    }
  }
  plan.subject = random.Pick(kTopics);
  const auto last = lastInConference.find(plan.conference);
  if (last != lastInConference.end() && random.Chance(0.3)) {
    plan.subject = "Re: " + plan.subject;
    plan.referencePlan = last->second;
  }
  lastInConference[plan.conference] = index;
  plan.text = FillerText(random, plan.from);
  return plan;
}

// The messages that every demo shows, keyed by the filler position they follow.
std::multimap<int, Plan> Scripted() {
  std::multimap<int, Plan> out;
  const auto add = [&out](int after, Plan plan) {
    plan.text = Wrap(plan.text, plan.from);
    out.emplace(after, std::move(plan));
  };
  add(-1, {0, kDemoSysop, "ALL", "Welcome to the Obrix Demo BBS", false, false, -1,
           "Welcome, callers! This board carries local conferences for general talk,"
           " programming and trading, plus an announcements area. Grab your mail as a"
           " QWK packet and answer offline.",
           false});
  add(5, {4, kDemoSysop, kDemoCaller, "Your account is ready", false, false, -1,
          "Your demo account is set up. The Announcements conference brings you only the"
          " messages addressed to you; the Trading Post is dropped from your packets.",
          false});
  add(30, {1, "ALICE WALKER", kDemoCaller, "Lunch on Friday?", true, false, -1,
           "Are you free for lunch on Friday? The diner by the station does a fine soup.", false});
  add(30, {1, kDemoCaller, "ALICE WALKER", "Re: Lunch on Friday?", true, false, -2,
           "Friday works for me. Noon at the diner, see you there.", false});
  add(60, {1, "BOB MARTIN", "CAROL DIAZ", "Surprise party", true, false, -1,
           "Keep it quiet: the party for Dave is on the 14th at my place.", false});
  add(90, {2, "CAROL DIAZ", kDemoCaller, "Please review my code", false, true, -1,
           "I put the parser changes up for review. Let me know once you have read this,"
           " I asked for a return receipt.",
           false});
  add(120, {2, "DAVE KOWALSKI", kDemoCaller, "The patch I mentioned", false, false, -1,
            "Here is the patch for the line-end handling, attached to this message.", true});
  add(150,
      {3, kDemoSysop, kDemoSysop, "Backup schedule", false, false, -1,
       "Note to self: the nightly backup now runs at 03:00, the weekly one on Sundays.", false});
  add(151, {3, kDemoSysop, "ALL", "Hardware budget", false, false, -1,
            "Disk space is at 70 percent; order a second drive before spring.", false});
  add(180, {5, "ERIN OBRIEN", "ALL", "For sale: 2400 baud modem", false, false, -1,
            "External 2400 baud modem, works fine, comes with its cable. Make an offer.", false});
  add(220, {0, kDemoCaller, "ALL", "Hello from the demo caller", false, false, -1,
            "Hello everybody, I just joined and read my mail offline. Nice board!", false});
  return out;
}

std::string PatchAttachment() {
  std::string patch = "--- a/linefeed.c\r\n+++ b/linefeed.c\r\n";
  for (int i = 1; patch.size() < 3000; ++i) {
    patch += "@@ -" + Decimal(i * 10) + ",3 +" + Decimal(i * 10) + ",3 @@\r\n";
    patch += "-    if (c == '\\r') continue;\r\n";
    patch += "+    if (c == '\\r' && next == '\\n') continue;  /* hunk " + Decimal(i) + " */\r\n";
  }
  return patch;
}

std::string Screen(std::initializer_list<const char*> lines) {
  std::string out;
  for (const char* line : lines) out += std::string(line) + "\r\n";
  return out;
}

void AddRegularsAndConferences(BoardAdmin& admin) {
  const std::string regularsHash = HashPassword(kRegularsPassword);
  for (const char* name : kRegulars) {
    admin::InsertUser(admin.database(), name, regularsHash, "Regular");
  }
  admin.AddConference(0, "Main Board", kDefaultConferenceFlags, {});
  admin.AddConference(1, "General", kDefaultConferenceFlags, {});
  admin.AddConference(2, "Programming", kDefaultConferenceFlags, {});
  admin.AddConference(3, "Sysop Only", kDefaultConferenceFlags, {kDemoSysop});
  admin.AddConference(4, "Announcements", kDefaultConferenceFlags, {});
  admin.AddConference(5, "Trading Post", kDefaultConferenceFlags, {});
  admin.SetFlags(kDemoCaller, 4, 1);  // only the messages addressed to him
  admin.SetFlags(kDemoCaller, 5, 0);  // dropped
}

// The messages in posting order: the filler, with the scripted ones woven
// in after the filler message they follow.
std::vector<Plan> PlanMessages() {
  Random random(2026);
  std::vector<Plan> plans;
  std::map<int32_t, int> lastInConference;
  const auto scripted = Scripted();
  const auto addScripted = [&](int after) {
    const auto [first, last] = scripted.equal_range(after);
    for (auto it = first; it != last; ++it) {
      Plan plan = it->second;
      if (plan.referencePlan == -2) plan.referencePlan = static_cast<int>(plans.size()) - 1;
      plans.push_back(plan);
    }
  };
  addScripted(-1);
  for (int i = 0; i < 280; ++i) {
    plans.push_back(Filler(random, lastInConference, static_cast<int>(plans.size())));
    addScripted(i);
  }
  return plans;
}

// What the summary tells of the messages posted.
struct PostedCounts {
  int64_t total = 0;
  int toCaller = 0;
  int privateCount = 0;
};

// Posts the planned messages, spread over the four days before `now`.
PostedCounts PostMessages(BoardAdmin& admin, const std::vector<Plan>& plans, uint64_t now) {
  const uint64_t first = now - 4 * kDayTicks;
  const uint64_t step = (4 * kDayTicks - kHourTicks) / plans.size();
  std::vector<int32_t> ids;
  PostedCounts counts;
  for (size_t i = 0; i < plans.size(); ++i) {
    const Plan& plan = plans[i];
    PostRequest request;
    request.conference = plan.conference;
    request.from = plan.from;
    request.to = plan.to;
    request.subject = plan.subject;
    request.isPrivate = plan.isPrivate;
    request.receipt = plan.receipt;
    request.reference = plan.referencePlan >= 0 ? ids[static_cast<size_t>(plan.referencePlan)] : 0;
    request.date = FILETIME::FromTicks(first + i * step);
    request.text = plan.text;
    const PostResult posted = admin.Post(request);
    ids.push_back(posted.id);
    if (plan.attach) admin.Attach(posted.id, PatchAttachment());
    if (plan.to == kDemoCaller) ++counts.toCaller;
    if (plan.isPrivate) ++counts.privateCount;
  }
  counts.total = static_cast<int64_t>(plans.size());
  return counts;
}

void AddScreens(BoardAdmin& admin) {
  admin.PutServerFile(
      DisplayPath("prelog.bbs"),
      Screen({"Obrix Demo BBS", "A stand-in board for trying the Obrix QWK door.", ""}));
  admin.PutServerFile(DisplayPath("hello1.bbs"),
                      Screen({"Welcome back to the Obrix Demo BBS!", "",
                              "Your mail packet holds the new messages of the conferences you",
                              "read. Answer them offline and upload your reply packet.", ""}));
  admin.PutServerFile(DisplayPath("goodbye.bbs"),
                      Screen({"Thanks for calling the Obrix Demo BBS.", "Come back soon!"}));
}

void AddFiles(BoardAdmin& admin, uint64_t now) {
  admin.AddArea(1, "Uploads", false);
  admin.AddArea(2, "Sysop Archive", true);
  struct DemoFile {
    int32_t area;
    const char* name;
    int32_t size;
    const char* description;
    uint64_t age;
  };
  static constexpr DemoFile kFiles[] = {
      {1, "OLDGAMES.ZIP", 482'113, "A collection of classic door games", 10 * kDayTicks},
      {1, "READERS.ZIP", 215'870, "Three offline mail readers for DOS", 8 * kDayTicks},
      {1, "OBRIXDOC.ZIP", 48'201, "The Obrix QWK door's documentation", 2 * kDayTicks},
      {1, "MODEMFAQ.TXT", 31'544, "Frequently asked questions about modems", 36 * kHourTicks},
      {1, "PKTVIEW.ZIP", 97'310, "Looks inside QWK and REP packets", 1 * kDayTicks},
      {1, "ANSIART.ZIP", 122'987, "ANSI art from the last art contest", 5 * kHourTicks},
      {2, "USERS.BAK", 1'048'576, "User base backup", 2 * kDayTicks},
      {2, "LOGS.ZIP", 310'022, "Call logs of last month", 1 * kDayTicks}};
  for (const DemoFile& file : kFiles) {
    admin.AddFile(file.area, file.name, file.size, file.description,
                  FILETIME::FromTicks(now - file.age));
  }
  admin.SetNewFilesDate(kDemoCaller, FILETIME::FromTicks(now - 3 * kDayTicks));
}

void SetBoardDefaults(BoardAdmin& admin) {
  admin.SetVar(kDefaultAccount, "IncludeNewFiles", "1");
  admin.SetVar(kDefaultAccount, "IncludeNewBulletins", "1");
  admin.SetVar(kDefaultAccount, "MaxMsgPerPacket", "500");
  admin.SetVar(kDefaultAccount, "MaxMsgPerConf", "300");
  admin.SetVar(kDefaultAccount, "MaxAttachSize", "100");
}

void Describe(const PostedCounts& posted, std::vector<std::string>& summary) {
  summary.push_back("Demo caller: " + std::string(kDemoCaller) + ", password " +
                    kDemoCallerPassword);
  summary.push_back("Sysop: " + std::string(kDemoSysop) + ", password " + kDemoSysopPassword);
  std::string regulars;
  for (const char* name : kRegulars) regulars += (regulars.empty() ? "" : ", ") + std::string(name);
  summary.push_back("Other users: " + regulars + " (password " + kRegularsPassword + ")");
  summary.push_back(
      "Conferences: 0 Main Board, 1 General, 2 Programming, 3 Sysop Only"
      " (sysop only), 4 Announcements (demo caller: his own mail only),"
      " 5 Trading Post (dropped by the demo caller)");
  summary.push_back("Messages: " + Decimal(posted.total) + " over the last four days, " +
                    Decimal(posted.toCaller) + " to " + kDemoCaller + ", " +
                    Decimal(posted.privateCount) +
                    " private, one with a receipt request, one with an attachment");
  summary.push_back("Screens: " + DisplayPath("prelog.bbs") + ", " + DisplayPath("hello1.bbs") +
                    ", " + DisplayPath("goodbye.bbs"));
  summary.push_back(
      "File areas: 1 Uploads (4 new files for the demo caller), 2 Sysop Archive"
      " (excluded)");
  summary.push_back(
      "DEFAULT profile: IncludeNewFiles 1, IncludeNewBulletins 1,"
      " MaxMsgPerPacket 500, MaxMsgPerConf 300, MaxAttachSize 100");
}

void FillDemoBoard(BoardAdmin& admin, std::vector<std::string>& summary) {
  const uint64_t now = LocalNowFileTime().Ticks();
  admin.AddUser(kDemoCaller, kDemoCallerPassword, "Caller");
  admin.BeginBulk();
  AddRegularsAndConferences(admin);
  const PostedCounts posted = PostMessages(admin, PlanMessages(), now);
  AddScreens(admin);
  AddFiles(admin, now);
  SetBoardDefaults(admin);
  admin.CommitBulk();
  Describe(posted, summary);
}

}  // namespace

std::vector<std::string> CreateDemoBoard(const std::string& path) {
  BoardConfig config;
  config.name = "Obrix Demo BBS";
  config.sysop = "Sysop";
  config.city = "Anytown";
  config.phone = "555-0100";
  config.packetId = kDemoPacketId;
  config.serial = "00000001";
  BoardAdmin::Create(path, config, kDemoSysopPassword);
  std::vector<std::string> summary{"Created the demo board " + DescribeBoardName(path) + " (" +
                                   config.name + ", packet id " + kDemoPacketId + ")"};
  try {
    BoardAdmin admin = BoardAdmin::Open(path);
    FillDemoBoard(admin, summary);
  } catch (...) {
    BoardAdmin::RemoveNewBoard(path);
    throw;
  }
  return summary;
}

}  // namespace obrix::board
