// Fuzzes the control-message text: GetWord on any text and word number,
// and CONFIG lines applied to a real board.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/failure.h"
#include "fuzz_board.h"
#include "upload/control_messages.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace obrix;
  if (size == 0) return 0;
  // The first byte picks the word (-8 to 247); the rest is the text.
  const int32_t n = static_cast<int32_t>(data[0]) - 8;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const std::string word = GetWord(text, n);
  Check(text.find(word) != std::string::npos);
  Check(word.empty() || (word.front() != ' ' && word.back() != ' '));
  if (n <= 0) Check(word.empty());
  if (text.find(' ') == std::string::npos && n >= 1) Check(word == text);

  fuzzing::FuzzBoard& board = fuzzing::FuzzBoard::Get();
  try {
    UploadBounds bounds(board.context().log);
    ApplyConfigLines(board.context(), bounds, text);
  } catch (const Failure&) {
    std::abort();  // every line either applies or is ignored
  }
  board.ForgetLog();
  return 0;
}
