#include "controls/LeafControls.h"

#include <algorithm>

namespace prt {

namespace {
constexpr int32_t kMaxTrendExtent = 1024;
}  // namespace

void TrendView::WriteSize() {
  const auto [w, h] = GetSize();
  WriteIntProperty(u"width", std::min(w, kMaxTrendExtent));
  WriteIntProperty(u"height", std::min(h, kMaxTrendExtent));
}

}  // namespace prt
