#include "download/pointer_file.h"

#include "base/failure.h"
#include "base/text.h"

namespace obrix {

PointerFile PointerFile::Create(const std::string& path) {
  return PointerFile(LocalFile::CreateFresh(path));
}

void PointerFile::AddLine(Server& server, int32_t conference) {
  if (!file_) throw Failure(kFailureFileIo, "The pointer file is closed");
  const int32_t lastRead = server.GetLastRead(conference);
  file_->Write(Decimal(conference) + "," + Decimal(lastRead) + "\r\n");
}

void PointerFile::Close() {
  if (!file_) return;
  LocalFile file = std::move(*file_);
  file_.reset();
  file.Close();
}

}  // namespace obrix
