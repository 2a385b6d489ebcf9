// Helpers of the upload tests: reply files built byte by byte through the
// QWK header encoder, REP archives built with the real zip, and a real
// board with conferences and users in a temporary folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "admin/board_admin.h"
#include "platform/staging.h"
#include "qwk/qwk_header.h"
#include "support/test_board.h"
#include "support/test_support.h"

namespace obrix::testing {

// One reply as an offline reader writes it.
struct TestReply {
  std::string number = "1";  // the conference, as the reader writes it
  std::string date = "03-14-26";
  std::string time = "15:09";
  std::string to = "ALL";
  std::string from = "JOHN DOE";
  std::string subject = "Hello";
  std::string text{};      // line feeds become the QWK line terminator
  std::string blocks{};    // empty: counted from the text
  int32_t conference = 0;  // the binary conference field
  char status = ' ';       // '*' marks it private
};

// Blank-filled to a whole number of blocks (at least one when not empty).
inline std::string PadToBlocks(std::string bytes) {
  const size_t rest = bytes.size() % kQwkBlockSize;
  if (rest != 0) bytes.append(kQwkBlockSize - rest, ' ');
  return bytes;
}

// The header block and text blocks of one reply.
inline std::string ReplyBytes(const TestReply& reply) {
  std::string body = reply.text;
  for (char& c : body) {
    if (c == '\n') c = kQwkLineEnd;
  }
  body = PadToBlocks(body);
  QwkHeader header;
  header.Number = reply.number;
  header.Date = reply.date;
  header.Time = reply.time;
  header.To = reply.to;
  header.From = reply.from;
  header.Subject = reply.subject;
  header.Blocks =
      reply.blocks.empty() ? std::to_string(1 + body.size() / kQwkBlockSize) : reply.blocks;
  header.Conference = reply.conference;
  header.Status = reply.status;
  return EncodeQwkHeader(header) + body;
}

// A whole reply file: block 0 naming the packet, then the replies.
inline std::string ReplyFile(const std::string& packetId, const std::vector<TestReply>& replies) {
  std::string bytes = PadToBlocks(packetId);
  for (const TestReply& reply : replies) bytes += ReplyBytes(reply);
  return bytes;
}

// Zips `members` (name inside the archive -> bytes) into `archive` with the
// real zip, storing links as links (-y; a test that zips one needs
// Need::kSymlinks). Members named with a folder keep
// it. A member whose bytes start with "->" becomes a link to the rest.
inline void ZipMembers(const std::string& archive,
                       const std::vector<std::pair<std::string, std::string>>& members) {
  TempDir staging;
  std::vector<std::string> argv = {"zip", "-q", archive, "--"};
  for (const auto& [name, bytes] : members) {
    const std::filesystem::path target = std::filesystem::path(staging.path()) / name;
    std::filesystem::create_directories(target.parent_path());
    if (bytes.rfind("->", 0) == 0) {
      if (!MakeSymlink(bytes.substr(2), target.string())) throw std::runtime_error("no link");
      if (argv[2] != "-y") argv.insert(argv.begin() + 2, "-y");
    } else {
      WriteFile(target.string(), bytes);
    }
    argv.push_back(name);
  }
  const ProcessResult zipped = RunProgram(argv, staging.path());
  if (zipped.status != 0) throw std::runtime_error("zip failed: " + zipped.output);
}

// A board with conferences 0 to `conferences` - 1 (named "Conference
// <n>") and the users JOHN DOE (password SECRET) and JANE ROE (password
// LETMEIN).
inline BoardSetup UploadBoardSetup(int32_t conferences) {
  return {.sysopPassword = "SYSOPPW",
          .users = {{"JOHN DOE", "SECRET", "Caller"}, {"JANE ROE", "LETMEIN", "Member"}},
          .conferences = conferences};
}

// That board as the file `dir`/board.db.
inline std::string CreateTestBoard(const std::string& dir, int32_t conferences) {
  const std::string path = dir + "/board.db";
  CopyTemplate(UploadBoardSetup(conferences), path);
  return path;
}

}  // namespace obrix::testing
