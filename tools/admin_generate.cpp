#include "admin_generate.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <vector>

#include "admin/admin_internal.h"
#include "admin_random.h"
#include "base/text.h"
#include "board/message_store.h"
#include "board/tables.h"
#include "platform/clock.h"
#include "server/server.h"

namespace obrix::board {

namespace {

using admin::Random;

constexpr int64_t kMessagesPerCommit = 10'000;
constexpr int64_t kMessagesPerProgress = 1'000;
constexpr int32_t kLargestText = 4'000'000;  // what one QWK message can carry
constexpr uint64_t kSecondTicks = 10'000'000;

constexpr const char* kWords[] = {
    "the",     "board",  "modem",   "packet", "reader",   "message", "caller", "sysop",
    "door",    "file",   "upload",  "night",  "node",     "reply",   "thread", "baud",
    "network", "echo",   "offline", "mail",   "today",    "answer",  "again",  "with",
    "and",     "about",  "from",    "some",   "works",    "fine",    "never",  "really",
    "think",   "should", "could",   "would",  "question", "program", "setup",  "config"};

constexpr const char* kTopics[] = {
    "Modem settings",    "Weekend plans",  "New door game",     "Packet reader help",
    "Echo rules",        "Upload ratios",  "Old hardware",      "Compiler trouble",
    "Sysop meeting",     "Network news",   "File request",      "Welcome aboard",
    "Late night chat",   "Bug report",     "Trading post",      "Software review",
    "Callback verifier", "Screen colours", "Mail not arriving", "Happy holidays"};

// A block of wrapped words (line feed line ends) that message texts are cut
// from, long enough for the largest text.
std::string TextPool(Random& random, size_t size) {
  std::string pool;
  pool.reserve(size + 80);
  size_t column = 0;
  while (pool.size() < size) {
    const std::string word = random.Pick(kWords);
    if (column + word.size() + 1 > 70) {
      pool += '\n';
      column = 0;
    } else if (column > 0) {
      pool += ' ';
      ++column;
    }
    pool += word;
    column += word.size();
  }
  return pool;
}

std::string MessageText(Random& random, const std::string& pool, int64_t index, int64_t size) {
  std::string text = "Generated message " + Decimal(index + 1) + ".\n";
  if (size <= static_cast<int64_t>(text.size())) return text.substr(0, static_cast<size_t>(size));
  const size_t body = static_cast<size_t>(size) - text.size();
  const size_t offset = static_cast<size_t>(random.Below(pool.size() - body + 1));
  text.append(pool, offset, body);
  return text;
}

// The name of generated user n (from 1).
std::string GeneratedUser(int32_t n) { return "USER " + Decimal(n); }

std::vector<admin::UserRow> Writers(Database& db, int32_t users) {
  std::vector<admin::UserRow> out;
  if (users > 0) {
    for (int32_t i = 1; i <= users; ++i) out.push_back(admin::RequireUser(db, GeneratedUser(i)));
    return out;
  }
  auto list = db.Prepare("SELECT id, name, title FROM users WHERE name <> ? ORDER BY id");
  list->Bind(1, kDefaultAccount);
  while (list->Step()) {
    out.push_back({static_cast<int32_t>(list->Int(0)), list->Text(1), list->Text(2)});
  }
  return out;
}

std::vector<int32_t> TargetConferences(Database& db, int32_t conferences) {
  std::vector<int32_t> out;
  if (conferences > 0) {
    for (int32_t i = 0; i < conferences; ++i) out.push_back(i);
    return out;
  }
  auto list = db.Prepare("SELECT number FROM conferences ORDER BY number");
  while (list->Step()) out.push_back(static_cast<int32_t>(list->Int(0)));
  return out;
}

class Generator {
 public:
  Generator(BoardAdmin& admin, const GenerateOptions& options, const GenerateProgress& progress)
      : admin_(admin),
        db_(admin.database()),
        options_(options),
        progress_(progress),
        random_(options.seed) {}

  GenerateReport Run() {
    PrepareUsersAndConferences();
    const std::string pool =
        TextPool(random_, std::max<size_t>(65'536, 2 * static_cast<size_t>(options_.maxSize)));
    const auto start = ParseBoardDate("2026-01-01 00:00");
    const uint64_t firstTime = start ? start->Ticks() : 0;
    const uint64_t entryTime = LocalNowFileTime().Ticks();
    for (int64_t i = 0; i < options_.messages; ++i) {
      StoredMessage message = MakeMessage(pool, i);
      message.entryTime = entryTime;
      message.messageTime = firstTime + static_cast<uint64_t>(i) * 37 * kSecondTicks;
      const PostResult posted = StoreMessage(db_, message);
      if (report_.firstId == 0) report_.firstId = posted.id;
      report_.lastId = posted.id;
      ++report_.messagesAdded;
      if ((i + 1) % kMessagesPerCommit == 0) {
        admin_.CommitBulk();
        admin_.BeginBulk();
      }
      if (progress_ && (i + 1) % kMessagesPerProgress == 0) progress_(i + 1, options_.messages);
    }
    if (progress_) progress_(options_.messages, options_.messages);
    return report_;
  }

 private:
  void PrepareUsersAndConferences() {
    AddUsers();
    for (int32_t i = 0; i < options_.conferences; ++i) {
      if (admin::ConferenceExists(db_, i)) continue;
      admin_.AddConference(i, "Conference " + Decimal(i), kDefaultConferenceFlags, {});
      ++report_.conferencesAdded;
    }
    writers_ = Writers(db_, options_.users);
    conferences_ = TargetConferences(db_, options_.conferences);
    if (options_.messages > 0 && writers_.empty()) {
      throw std::invalid_argument("the board has no users to write messages (give --users)");
    }
    if (options_.messages > 0 && conferences_.empty()) {
      throw std::invalid_argument("the board has no conferences to post to (give --conferences)");
    }
  }

  // Adds "USER 1" .. "USER n" and the user `to` where they are missing,
  // hashing their password once for all and only when one is missing.
  void AddUsers() {
    const std::string hash = MissesUsers() ? HashPassword(options_.password) : std::string();
    for (int32_t i = 1; i <= options_.users; ++i) AddUnlessKnown(GeneratedUser(i), hash);
    if (!options_.to.empty()) {
      AddUnlessKnown(options_.to, hash);
      toUser_ = admin::RequireUser(db_, options_.to);
    }
  }

  bool MissesUsers() {
    for (int32_t i = 1; i <= options_.users; ++i) {
      if (!admin::FindUser(db_, GeneratedUser(i))) return true;
    }
    return !options_.to.empty() && !admin::FindUser(db_, options_.to);
  }

  void AddUnlessKnown(const std::string& name, const std::string& hash) {
    if (admin::FindUser(db_, name)) return;
    admin::InsertUser(db_, name, hash, "");
    ++report_.usersAdded;
  }

  StoredMessage MakeMessage(const std::string& pool, int64_t index) {
    StoredMessage message;
    message.conference = conferences_[random_.Below(conferences_.size())];
    const admin::UserRow& from = writers_[random_.Below(writers_.size())];
    message.fromId = from.id;
    message.fromName = from.name;
    message.fromTitle = from.title;
    const admin::UserRow* to = nullptr;
    if (toUser_ && random_.Chance(options_.toShare)) {
      to = &*toUser_;
      ++report_.messagesToUser;
    } else if (random_.Chance(0.5)) {
      to = &writers_[random_.Below(writers_.size())];
    }
    if (to) {
      message.toId = to->id;
      message.toName = to->name;
      message.toTitle = to->title;
      message.isPrivate = random_.Chance(0.25);
      message.receiptRequested = random_.Chance(0.02);
    } else {
      message.toName = "ALL";
    }
    const bool isReply = report_.lastId > 0 && random_.Chance(0.3);
    message.subject = std::string(isReply ? "Re: " : "") + random_.Pick(kTopics);
    if (isReply) message.reference = report_.lastId;
    message.text =
        MessageText(random_, pool, index, random_.Between(options_.minSize, options_.maxSize));
    return message;
  }

  BoardAdmin& admin_;
  Database& db_;
  const GenerateOptions& options_;
  const GenerateProgress& progress_;
  Random random_;
  GenerateReport report_;
  std::optional<admin::UserRow> toUser_;
  std::vector<admin::UserRow> writers_;
  std::vector<int32_t> conferences_;
};

}  // namespace

void CheckGenerateOptions(const GenerateOptions& options) {
  if (options.users < 0 || options.conferences < 0 || options.messages < 0) {
    throw std::invalid_argument(
        "the numbers of users, conferences and messages cannot be negative");
  }
  if (options.conferences > admin::kHighestConference + 1) {
    throw std::invalid_argument("at most " + Decimal(admin::kHighestConference + 1) +
                                " conferences");
  }
  if (options.minSize < 0 || options.maxSize < options.minSize || options.maxSize > kLargestText) {
    throw std::invalid_argument("message sizes must satisfy 0 <= min-size <= max-size <= " +
                                Decimal(kLargestText));
  }
  if (!(options.toShare >= 0 && options.toShare <= 1)) {
    throw std::invalid_argument("the share of messages to a user must lie between 0 and 1");
  }
  if (options.toShare > 0 && admin::UserKey(options.to).empty()) {
    throw std::invalid_argument("a share of messages needs the user they go to (--to)");
  }
  if (options.password.empty()) throw std::invalid_argument("the users need a password");
  admin::CheckPasswordWord(options.password);
  if (!options.to.empty()) admin::CheckUserName(admin::UserKey(options.to));
}

GenerateReport Generate(BoardAdmin& admin, const GenerateOptions& options,
                        const GenerateProgress& progress) {
  CheckGenerateOptions(options);
  // Millions of rows go in: the connection readies itself (a board file
  // keeps more of the indexes' pages in memory).
  admin.database().BeginBulkWrites();
  admin.BeginBulk();
  try {
    const GenerateReport report = Generator(admin, options, progress).Run();
    admin.CommitBulk();
    return report;
  } catch (...) {
    try {
      admin.database().Rollback();
    } catch (...) {
    }
    throw;
  }
}

}  // namespace obrix::board
