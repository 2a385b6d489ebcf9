// File areas, files, display screens, node activity and bulk loading.
#include <stdexcept>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "base/text.h"
#include "board/tables.h"
#include "server/server.h"

namespace obrix::board {

using admin::CheckLength;
using admin::WriteScope;

void BoardAdmin::AddArea(int32_t number, const std::string& name, bool exclude) {
  if (number < 1) throw std::invalid_argument("file areas are numbered from 1");
  if (Trim(name).empty()) throw std::invalid_argument("a file area name must not be empty");
  CheckLength("file area name", name, admin::kAreaNameWidth);
  WriteScope scope(db_);
  {
    auto find = db_.Prepare("SELECT 1 FROM file_areas WHERE number = ?");
    find->Bind(1, int64_t{number});
    if (find->Step()) {
      throw std::invalid_argument("file area " + Decimal(number) + " already exists");
    }
  }
  auto insert = db_.Prepare("INSERT INTO file_areas (number, name, exclude) VALUES (?, ?, ?)");
  insert->Bind(1, int64_t{number}).Bind(2, name).Bind(3, int64_t{exclude ? 1 : 0});
  insert->Run();
  scope.Commit();
}

std::vector<AreaSummary> BoardAdmin::ListAreas() {
  std::vector<AreaSummary> out;
  auto list = db_.Prepare(
      "SELECT a.number, a.name, a.exclude,"
      " (SELECT count(*) FROM files f WHERE f.area = a.number)"
      " FROM file_areas a ORDER BY a.number");
  while (list->Step()) {
    out.push_back(AreaSummary{static_cast<int32_t>(list->Int(0)), list->Text(1), list->Int(2) != 0,
                              static_cast<int32_t>(list->Int(3))});
  }
  return out;
}

void BoardAdmin::AddFile(int32_t area, const std::string& name, int32_t size,
                         const std::string& description, FILETIME date) {
  if (Trim(name).empty()) throw std::invalid_argument("a file name must not be empty");
  CheckLength("file name", name, admin::kFileNameWidth);
  CheckLength("file description", description, admin::kFileDescriptionWidth);
  if (size < 0) throw std::invalid_argument("a file size cannot be negative");
  WriteScope scope(db_);
  {
    auto find = db_.Prepare("SELECT 1 FROM file_areas WHERE number = ?");
    find->Bind(1, int64_t{area});
    if (!find->Step()) throw std::invalid_argument("no file area " + Decimal(area));
  }
  auto insert = db_.Prepare(
      "INSERT INTO files (area, name, description, size, upload_time) VALUES (?, ?, ?, ?, ?)");
  insert->Bind(1, int64_t{area})
      .Bind(2, name)
      .Bind(3, description)
      .Bind(4, int64_t{size})
      .Bind(5, static_cast<int64_t>(date.Ticks()));
  insert->Run();
  scope.Commit();
}

void BoardAdmin::DeleteArea(int32_t number, bool withFiles) {
  WriteScope scope(db_);
  int64_t files = 0;
  {
    auto find = db_.Prepare(
        "SELECT (SELECT count(*) FROM files WHERE area = ?1) FROM file_areas WHERE number = ?1");
    find->Bind(1, int64_t{number});
    if (!find->Step()) throw std::invalid_argument("no file area " + Decimal(number));
    files = find->Int(0);
  }
  if (files > 0 && !withFiles) {
    throw std::invalid_argument("file area " + Decimal(number) + " holds " + Decimal(files) +
                                " files; give --with-files to delete them with it");
  }
  for (const char* sql :
       {"DELETE FROM files WHERE area = ?", "DELETE FROM file_areas WHERE number = ?"}) {
    auto remove = db_.Prepare(sql);
    remove->Bind(1, int64_t{number});
    remove->Run();
  }
  scope.Commit();
}

std::vector<FileSummary> BoardAdmin::ListFiles(std::optional<int32_t> area) {
  if (area) {
    auto find = db_.Prepare("SELECT 1 FROM file_areas WHERE number = ?");
    find->Bind(1, int64_t{*area});
    if (!find->Step()) throw std::invalid_argument("no file area " + Decimal(*area));
  }
  auto list = db_.Prepare(
      "SELECT id, area, name, description, size, upload_time FROM files"
      " WHERE area = ?1 OR ?1 IS NULL ORDER BY area, upload_time, id");
  if (area) {
    list->Bind(1, int64_t{*area});
  } else {
    list->BindNull(1);
  }
  std::vector<FileSummary> out;
  while (list->Step()) {
    out.push_back(FileSummary{list->Int(0), static_cast<int32_t>(list->Int(1)), list->Text(2),
                              list->Text(3), list->Int(4),
                              FILETIME::FromTicks(static_cast<uint64_t>(list->Int(5)))});
  }
  return out;
}

int32_t BoardAdmin::DeleteFile(int32_t area, const std::string& name) {
  WriteScope scope(db_);
  int32_t deleted = 0;
  for (const FileSummary& file : ListFiles(area)) {
    if (ToUpper(file.name) != ToUpper(name)) continue;
    auto remove = db_.Prepare("DELETE FROM files WHERE id = ?");
    remove->Bind(1, file.id);
    remove->Run();
    ++deleted;
  }
  if (deleted == 0) {
    throw std::invalid_argument("no file " + name + " in file area " + Decimal(area));
  }
  scope.Commit();
  return deleted;
}

// ---------------------------------------------------------------------------
// Server files

void BoardAdmin::PutServerFile(const std::string& serverPath, const std::string& bytes) {
  if (Trim(serverPath).empty()) throw std::invalid_argument("a server path must not be empty");
  WriteScope scope(db_);
  auto put = db_.Prepare(
      "INSERT INTO server_files (path_key, path, message_id, data) VALUES (?, ?, NULL, ?)"
      " ON CONFLICT (path_key) DO UPDATE SET path = excluded.path, message_id = NULL,"
      " data = excluded.data");
  put->Bind(1, ToUpper(serverPath)).Bind(2, serverPath).BindBlob(3, bytes);
  put->Run();
  scope.Commit();
}

std::vector<ServerFileSummary> BoardAdmin::ListScreens() {
  auto list = db_.Prepare(
      "SELECT path, length(CAST(data AS BLOB)) FROM server_files WHERE message_id IS NULL"
      " ORDER BY path_key");
  std::vector<ServerFileSummary> out;
  while (list->Step()) out.push_back(ServerFileSummary{list->Text(0), list->Int(1)});
  return out;
}

void BoardAdmin::DeleteScreen(const std::string& serverPath) {
  WriteScope scope(db_);
  auto remove = db_.Prepare("DELETE FROM server_files WHERE path_key = ? AND message_id IS NULL");
  remove->Bind(1, ToUpper(serverPath));
  remove->Run();
  if (db_.Changes() == 0) throw std::invalid_argument("no screen " + serverPath);
  scope.Commit();
}

// ---------------------------------------------------------------------------
// Node activity and bulk loading

std::vector<NodeActivity> BoardAdmin::Who() {
  std::vector<NodeActivity> out;
  auto list = db_.Prepare(
      "SELECT u.name, n.text, n.time,"
      " (SELECT value FROM user_vars v WHERE v.user_id = n.user_id AND v.section = ?1"
      "  AND v.key = ?2),"
      " (SELECT value FROM user_vars v WHERE v.user_id = n.user_id AND v.section = ?1"
      "  AND v.key = ?3)"
      " FROM node_activity n JOIN users u ON u.id = n.user_id ORDER BY n.time, u.name");
  list->Bind(1, kActivitySection).Bind(2, kDownloadActivity).Bind(3, kUploadActivity);
  while (list->Step()) {
    out.push_back(NodeActivity{list->Text(0), list->Text(1),
                               FILETIME::FromTicks(static_cast<uint64_t>(list->Int(2))),
                               admin::ActivityTime(*list, 3), admin::ActivityTime(*list, 4)});
  }
  return out;
}

void BoardAdmin::BeginBulk() { db_.BeginWrite(); }

void BoardAdmin::CommitBulk() { db_.Commit(); }

}  // namespace obrix::board
