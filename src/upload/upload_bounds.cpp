#include "upload/upload_bounds.h"

#include <algorithm>

#include "base/text.h"

namespace obrix {

bool UploadBounds::Line(const std::string& kind, const std::string& line) {
  auto seen = std::find_if(kinds_.begin(), kinds_.end(),
                           [&](const auto& entry) { return entry.first == kind; });
  if (seen == kinds_.end()) seen = kinds_.insert(kinds_.end(), {kind, 0});
  if (++seen->second > kMostLinesOfAKind) return false;
  log_.Line(line);
  return true;
}

bool UploadBounds::TakeControlLine() {
  if (controlLines_ == kMostControlLines) {
    ++controlLinesLeft_;
    return false;
  }
  ++controlLines_;
  return true;
}

void UploadBounds::Summarise() {
  for (const auto& [kind, count] : kinds_) {
    if (count <= kMostLinesOfAKind) continue;
    log_.Line(Decimal(count - kMostLinesOfAKind) + " more lines \"" + kind + " ...\" not logged.");
  }
  if (controlLinesLeft_ > 0) {
    log_.Line("Ignored " + Decimal(controlLinesLeft_) + " control lines after the first " +
              Decimal(kMostControlLines) + " of this upload.");
  }
  // Told once: a later call tells only what was left out since.
  for (auto& entry : kinds_) entry.second = std::min(entry.second, kMostLinesOfAKind);
  controlLinesLeft_ = 0;
}

}  // namespace obrix
