// "newfiles.dat": the files that are new since the user's new-files date,
// grouped by file area. The list is an extra: every step runs on its own,
// and a failing step is skipped without ending the list.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "platform/files.h"
#include "qwk/qwk_files.h"
#include "server/packet_settings.h"

namespace obrix {

namespace {

constexpr size_t kNameColumn = 15;

// Runs `step`, ignoring a Failure raised inside it; false when it raised.
template <typename Step>
bool Ignoring(Step&& step) {
  try {
    step();
    return true;
  } catch (const Failure&) {
    return false;
  }
}

// The size in digit groups of three, "," between the groups; 0 gives the
// empty text (the "#,###,###,###" pattern).
std::string GroupedSize(int64_t size) {
  if (size == 0) return "";
  const std::string digits = Decimal(size < 0 ? -size : size);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return size < 0 ? "-" + out : out;
}

std::string AreaLine(int32_t area, const FileAreaRecord& record) {
  return "***** Area  " + Decimal(area) + " : " + record.name.Str();
}

std::string NameLine(const FileRecord& file) {
  std::string name = file.name.Trimmed();
  if (name.size() < kNameColumn) name.append(kNameColumn - name.size(), ' ');
  return name + "Size: " + GroupedSize(file.size);
}

class ListWriter {
 public:
  ListWriter(const std::string& path, PacketCharset& charset) : charset_(charset) {
    Ignoring([&] { file_.emplace(LocalFile::CreateFresh(path)); });
  }
  void WriteLine(const std::string& text) {
    if (file_) Ignoring([&] { file_->Write(charset_.ToPacket(text) + "\r\n"); });
  }
  void Close() {
    if (file_) Ignoring([&] { file_->Close(); });
  }

 private:
  PacketCharset& charset_;
  std::optional<LocalFile> file_;
};

// Lists the new files of one area; returns how many were listed.
int32_t ListArea(Server& server, int32_t area, const FILETIME& since, int32_t& position,
                 ListWriter& list) {
  FileAreaRecord areaRecord;
  Ignoring([&] { server.vbGetFileArea(area, areaRecord); });
  if (areaRecord.exclude != kFalse32) return 0;

  FileRecord file;
  bool found = false;
  Ignoring([&] { found = server.vbSearchFileRecByAreaDate(area, since, file, position); });
  if (!found || file.area != area) return 0;

  list.WriteLine("");
  list.WriteLine(AreaLine(area, areaRecord));
  list.WriteLine("");
  int32_t listed = 0;
  while (found && file.area == area) {
    list.WriteLine(NameLine(file));
    list.WriteLine("Desc: " + file.description.Str());
    ++listed;
    found = false;
    Ignoring([&] { found = server.vbGetNextFileRec(2, file, position); });
  }
  return listed;
}

}  // namespace

void WriteNewFilesList(RunContext& context, const std::string& path, PacketCharset& charset) {
  Server& server = context.server;
  UserRecord user;
  int32_t position = 0;
  Ignoring([&] { server.vbGetUserById(context.state.UserId, user, position); });

  bool wanted = true;  // a setting that cannot be read counts as true
  Ignoring([&] {
    wanted = SettingIsTrue(
        server.vbGetUserVariable(user.info.id, kProfileSection, kIncludeNewFiles, "0"));
  });
  if (!wanted) return;

  Ignoring([&] { context.log.WriteLog("Collecting new files: ", true, true); });
  int16_t count = 0;
  ListWriter list(path, charset);
  position = 0;
  int32_t area = 0;
  Ignoring([&] { area = server.GetFirstFileArea(0, 0); });
  while (area > 0) {
    const int32_t listed = ListArea(server, area, user.newFilesDate, position, list);
    count = static_cast<int16_t>(std::min<int32_t>(count + listed, INT16_MAX));
    const int32_t current = area;
    area = 0;  // a failing step ends the walk rather than repeating an area
    Ignoring([&] { area = server.GetNextFileArea(0, 0, current); });
  }
  list.Close();
  Ignoring([&] { context.log.WriteLog(Decimal(count), false, false); });
}

}  // namespace obrix
