#include "tools/common/picture_order.h"

#include <algorithm>

namespace tool_args {

void PictureOrder::ClosePeriod() {
    std::stable_sort(period_.begin(), period_.end(), [](const Picture& a, const Picture& b) { return a.order < b.order; });
    int64_t first = static_cast<int64_t>(presentation_.size() - period_.size());
    for (size_t rank = 0; rank < period_.size(); ++rank) {
        presentation_[static_cast<size_t>(period_[rank].decode)] = first + static_cast<int64_t>(rank);
    }
    period_.clear();
}

void PictureOrder::Add(int64_t orderCount, bool idr) {
    if (idr && !period_.empty()) ClosePeriod();
    period_.push_back({static_cast<int64_t>(presentation_.size()), orderCount});
    presentation_.push_back(0);
}

std::vector<int64_t> PictureOrder::Finish(int64_t& delay) {
    ClosePeriod();
    delay = 0;
    for (size_t decode = 0; decode < presentation_.size(); ++decode) {
        delay = std::max(delay, static_cast<int64_t>(decode) - presentation_[decode]);
    }
    return std::move(presentation_);
}

}  // namespace tool_args
