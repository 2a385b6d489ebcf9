// The board's file areas and server files (display screens and message
// attachments, kept as blobs under their server paths).

#include <algorithm>
#include <limits>

#include "board/board.h"
#include "board/board_impl.h"

namespace obrix::board {

// ---------------------------------------------------------------------------
// File areas

namespace {

int32_t AreaAfter(Database& db, int64_t current) {
  auto row = db.Prepare("SELECT number FROM file_areas WHERE number > ?1 ORDER BY number LIMIT 1");
  row->Bind(1, std::max<int64_t>(current, 0));
  return row->Step() ? static_cast<int32_t>(row->Int(0)) : 0;
}

// Columns of a file entry, the cursor (row id) last.
constexpr const char* kFileColumns = "area, name, description, size, upload_time, id";

void FillFile(const Statement& row, FileRecord& record, int32_t& position) {
  record.area = static_cast<int32_t>(row.Int(0));
  record.name.Set(row.Text(1));
  record.description.Set(row.Text(2));
  record.size =
      static_cast<int32_t>(std::clamp<int64_t>(row.Int(3), 0, std::numeric_limits<int32_t>::max()));
  record.fileTime = FILETIME::FromTicks(static_cast<uint64_t>(row.Int(4)));
  position = static_cast<int32_t>(row.Int(5));
}

int64_t TicksOf(const FILETIME& time) {
  return static_cast<int64_t>(
      std::min<uint64_t>(time.Ticks(), std::numeric_limits<int64_t>::max()));
}

}  // namespace

int32_t Board::GetFirstFileArea(int32_t /*kind*/, int32_t /*flags*/) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t area = AreaAfter(impl.LoggedIn("GetFirstFileArea"), 0);
    return area ? impl.Succeed(area) : impl.Fail(kServerNotFound, 0);
  });
}

int32_t Board::GetNextFileArea(int32_t /*kind*/, int32_t /*flags*/, int32_t current) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t area = AreaAfter(impl.LoggedIn("GetNextFileArea"), current);
    return area ? impl.Succeed(area) : impl.Fail(kServerNotFound, 0);
  });
}

bool Board::vbGetFileArea(int32_t area, FileAreaRecord& record) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    auto row = impl.LoggedIn("vbGetFileArea")
                   .Prepare("SELECT name, exclude FROM file_areas WHERE number = ?1");
    row->Bind(1, area);
    record.number = area;
    if (!row->Step()) {
      record.name.Clear();
      record.exclude = kFalse32;
      return impl.Fail(kServerNotFound, false);
    }
    record.name.Set(row->Text(0));
    record.exclude = row->Int(1) != 0 ? kTrue32 : kFalse32;
    return impl.Succeed(true);
  });
}

bool Board::vbSearchFileRecByAreaDate(int32_t area, const FILETIME& date, FileRecord& record,
                                      int32_t& position) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("vbSearchFileRecByAreaDate");
    // Two index range scans: the area's entries from the date on, else the
    // first entry of a later area.
    {
      auto row = db.Prepare(std::string("SELECT ") + kFileColumns +
                            " FROM files WHERE area = ?1 AND upload_time >= ?2 "
                            "ORDER BY upload_time, id LIMIT 1");
      row->Bind(1, area).Bind(2, TicksOf(date));
      if (row->Step()) {
        FillFile(*row, record, position);
        return impl.Succeed(true);
      }
    }
    auto row = db.Prepare(std::string("SELECT ") + kFileColumns +
                          " FROM files WHERE area > ?1 ORDER BY area, upload_time, id LIMIT 1");
    row->Bind(1, area);
    if (!row->Step()) return impl.Fail(kServerNotFound, false);
    FillFile(*row, record, position);
    return impl.Succeed(true);
  });
}

bool Board::vbGetNextFileRec(int32_t mode, FileRecord& record, int32_t& position) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("vbGetNextFileRec");
    if (mode != 2 || position <= 0) return impl.Fail(kServerBadRecord, false);
    // The cursor is the row id of the current entry; its place in the
    // (area, date, id) order comes from the row, or from the record when
    // the entry has gone meanwhile.
    int64_t area = record.area;
    int64_t time = TicksOf(record.fileTime);
    {
      auto row = db.Prepare("SELECT area, upload_time FROM files WHERE id = ?1");
      row->Bind(1, position);
      if (row->Step()) {
        area = row->Int(0);
        time = row->Int(1);
      }
    }
    auto row = db.Prepare(std::string("SELECT ") + kFileColumns +
                          " FROM files WHERE (area, upload_time, id) > (?1, ?2, ?3) "
                          "ORDER BY area, upload_time, id LIMIT 1");
    row->Bind(1, area).Bind(2, time).Bind(3, position);
    if (!row->Step()) return impl.Fail(kServerNotFound, false);
    FillFile(*row, record, position);
    return impl.Succeed(true);
  });
}

// ---------------------------------------------------------------------------
// Server files

std::optional<Board::Impl::FoundFile> Board::Impl::FindVisibleFile(const std::string& path) {
  FoundFile file;
  int64_t conference = 0;
  bool attachment = false;
  {
    auto row = db->Prepare(
        "SELECT f.rowid, CASE typeof(f.data) WHEN 'blob' THEN length(f.data) "
        "ELSE length(CAST(f.data AS BLOB)) END, f.message_id IS NOT NULL, m.conference, "
        "m.id IS NOT NULL AND (?2 OR m.private = 0 OR m.from_id = ?1 OR m.to_id = ?1) "
        "FROM server_files f LEFT JOIN messages m ON m.id = f.message_id WHERE f.path_key = ?3");
    row->Bind(1, ViewerId()).Bind(2, ViewerIsSystem()).Bind(3, ToUpper(path));
    if (!row->Step()) return std::nullopt;
    file.row = row->Int(0);
    file.size = row->Int(1);
    attachment = row->Int(2) != 0;
    if (attachment && row->Int(4) == 0) return std::nullopt;  // its message is not visible
    conference = row->Int(3);
  }
  if (attachment && AccessTo(static_cast<int32_t>(conference)) != ConferenceAccess::kReadable) {
    return std::nullopt;
  }
  return file;
}

bool Board::WcExistFile(std::string& path) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    impl.LoggedIn("WcExistFile");
    return impl.FindVisibleFile(path) ? impl.Succeed(true) : impl.Fail(kServerNotFound, false);
  });
}

int32_t Board::WcCreateFile(const std::string& path, uint32_t access, uint32_t /*share*/,
                            uint32_t disposition) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    impl.LoggedIn("WcCreateFile");
    const uint32_t kGenericWrite = 0x40000000;
    if ((access & kGenericRead) == 0 || (access & kGenericWrite) != 0 ||
        disposition != kOpenExisting) {
      return impl.Fail(kServerAccessDenied, -1);
    }
    const std::optional<Impl::FoundFile> file = impl.FindVisibleFile(path);
    if (!file) return impl.Fail(kServerNotFound, -1);
    const int32_t handle = impl.nextHandle++;
    if (impl.nextHandle <= 0) impl.nextHandle = 1;
    impl.files[handle] = OpenServerFile{file->row, 0};
    return impl.Succeed(handle);
  });
}

bool Board::WcReadFile(int32_t handle, char* buffer, uint32_t size, uint32_t& bytesRead) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    bytesRead = 0;
    Database& db = impl.LoggedIn("WcReadFile");
    const auto open = impl.files.find(handle);
    if (open == impl.files.end()) return impl.Fail(kServerBadHandle, false);
    const std::optional<std::string> bytes =
        db.ReadFileData(open->second.row, open->second.offset,
                        std::min<int64_t>(size, std::numeric_limits<int>::max()));
    if (!bytes) return impl.Fail(kServerNotFound, false);  // removed meanwhile
    std::copy(bytes->begin(), bytes->end(), buffer);
    open->second.offset += static_cast<int64_t>(bytes->size());
    bytesRead = static_cast<uint32_t>(bytes->size());
    return impl.Succeed(true);
  });
}

bool Board::WcCloseHandle(int32_t handle) {
  Impl& impl = *impl_;
  return impl.files.erase(handle) != 0 ? impl.Succeed(true) : impl.Fail(kServerBadHandle, false);
}

int64_t Board::WcGetFileSize(const std::string& path) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    impl.LoggedIn("WcGetFileSize");
    const std::optional<Impl::FoundFile> file = impl.FindVisibleFile(path);
    return file ? impl.Succeed(file->size) : impl.Fail(kServerNotFound, int64_t{-1});
  });
}

}  // namespace obrix::board
