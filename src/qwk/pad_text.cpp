#include <algorithm>

#include "base/text.h"
#include "qwk/qwk_files.h"

namespace obrix {

// The pad count comes from the length without surrounding blanks while the
// untrimmed text goes into the result, so a text with leading or trailing
// blanks comes out longer than `width`; the header's reference field relies
// on this and cuts the result afterwards.
std::string PadText(std::string_view text, int16_t mode, int32_t width, char pad) {
  const size_t trimmedLength = Trim(text).size();
  const size_t target = static_cast<size_t>(std::max<int32_t>(width, 0));
  std::string result(text);
  if (trimmedLength > target) result.resize(target);
  if (target <= trimmedLength) return result;
  const std::string fill(target - trimmedLength, pad);
  if (mode == 0) return result + fill;
  if (mode == 1) return fill + result;
  return result;
}

}  // namespace obrix
