// bench_insert_baseline: the floor for the upload benchmark. It posts the
// replies of a REP reply file (as written by bench_make_rep) into a board's
// `messages` table with nothing around them: one plain INSERT per reply,
// each in its own transaction and each durable (its commit synced), on a
// connection with the board's own journal (WAL). No name look-ups, no duplicate check, no numbering
// through the conference row; the conference numbers are handed out from
// a copy read once at the start.
//
//   bench_insert_baseline BOARD REPLYFILE [--from NAME]
//
// Run it on a copy of the board: it writes to it. Prints the number of rows
// inserted.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/text.h"
#include "board/database.h"
#include "board/message_store.h"
#include "board/schema.h"
#include "qwk/qwk_header.h"

namespace {

using obrix::board::Database;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int64_t InsertAll(Database& db, const std::string& file, const std::string& from) {
  int64_t fromId = 0;
  {
    auto user = db.Prepare("SELECT id FROM users WHERE name = ?");
    user->Bind(1, from);
    if (user->Step()) fromId = user->Int(0);
  }
  std::map<int64_t, int64_t> nextNumber;
  {
    auto conferences = db.Prepare("SELECT number, next_number FROM conferences");
    while (conferences->Step()) nextNumber[conferences->Int(0)] = conferences->Int(1);
  }

  int64_t inserted = 0;
  size_t position = obrix::kQwkBlockSize;  // block 0 names the packet
  while (position + obrix::kQwkBlockSize <= file.size()) {
    const obrix::QwkHeader header =
        obrix::DecodeQwkHeader(std::string_view(file).substr(position, obrix::kQwkBlockSize));
    const size_t blocks = static_cast<size_t>(std::stol(header.Blocks));
    const int64_t conference = std::stol(header.Number);
    if (blocks < 1 || position + blocks * obrix::kQwkBlockSize > file.size() ||
        !nextNumber.count(conference)) {
      throw std::runtime_error("malformed reply at byte " + std::to_string(position));
    }
    std::string text =
        file.substr(position + obrix::kQwkBlockSize, (blocks - 1) * obrix::kQwkBlockSize);
    for (char& c : text) {
      if (c == obrix::kQwkLineEnd) c = '\n';
    }
    position += blocks * obrix::kQwkBlockSize;

    obrix::board::Transaction transaction(db);
    auto insert = db.Prepare(
        "INSERT INTO messages (conference, number, from_id, from_name, from_title, to_id, to_name,"
        " to_title, subject, private, receipt_requested, reference, entry_time, message_time,"
        " uploader_id_text, text, text_hash)"
        " VALUES (?, ?, ?, ?, '', 0, ?, '', ?, 0, 0, 0, ?, ?, ?, ?, ?)");
    insert->Bind(1, conference)
        .Bind(2, nextNumber[conference]++)
        .Bind(3, fromId)
        .Bind(4, from)
        .Bind(5, obrix::Trim(header.To))
        .Bind(6, obrix::Trim(header.Subject))
        .Bind(7, int64_t{133'800'000'000'000'000})
        .Bind(8, int64_t{133'800'000'000'000'000})
        .Bind(9, " " + std::to_string(fromId))
        .BindBlob(10, text)
        .Bind(11, obrix::board::MessageTextHash(text));
    insert->Run();
    transaction.Commit();
    ++inserted;
  }
  return inserted;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc != 3 && !(argc == 5 && std::string(argv[3]) == "--from")) {
      std::cerr << "usage: bench_insert_baseline BOARD REPLYFILE [--from NAME]\n";
      return 2;
    }
    const std::string from = argc == 5 ? argv[4] : "BENCH";
    const std::string file = ReadWhole(argv[2]);
    const std::unique_ptr<Database> db = obrix::board::OpenDatabase(argv[1], false);
    db->SetUpConnection();
    // Every insert durable on its own: each commit synced (a PostgreSQL
    // commit always is).
    if (!obrix::board::IsPostgresName(argv[1])) db->Exec("PRAGMA synchronous=FULL");
    std::cout << InsertAll(*db, file, from) << "\n";
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "bench_insert_baseline: " << error.what() << "\n";
    return 1;
  }
}
