// Fuzzes the reply reader: any bytes as a reply file, read to its end or
// to the failure that stops an upload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/failure.h"
#include "fuzz_board.h"
#include "qwk/qwk_header.h"
#include "upload/reply_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace obrix;
  fuzzing::FuzzBoard& board = fuzzing::FuzzBoard::Get();
  const std::string path = board.Path("reply.msg");
  {
    LocalFile file = LocalFile::CreateFresh(path);
    file.Write(std::string(reinterpret_cast<const char*>(data), size));
    file.Close();
  }

  ReplyReader reader;
  Check(reader.OpenReplyFile(path));
  const int64_t fileSize = static_cast<int64_t>(size);
  try {
    for (;;) {
      MessageRecord record;
      std::string text;
      const int32_t before = reader.ReplyPos();
      if (!reader.ReadReply(board.context(), record, text)) break;
      // Whole blocks, within the file, forwards only.
      Check(reader.ReplyPos() > before);
      Check((reader.ReplyPos() - 1) % 128 == 0);
      Check(reader.ReplyPos() - 1 <= fileSize);
      // The text lies within the reply's text blocks (without their fill).
      Check(static_cast<int64_t>(text.size()) <= int64_t{reader.ReplyPos()} - before - 128);
      Check(record.textLength == static_cast<int32_t>(text.size()));
      Check(text.find(kQwkLineEnd) == std::string::npos);
      Check(record.entryTime == record.messageTime);
    }
  } catch (const Failure& failure) {
    Check(failure.number() == kFailureTypeMismatch || failure.number() == kFailureOverflow ||
          failure.number() == kFailureBadPacket);
  }
  reader.CloseReplyFile();
  board.ForgetLog();
  return 0;
}
