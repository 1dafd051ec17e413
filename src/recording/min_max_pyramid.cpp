#include "recording/min_max_pyramid.h"

namespace ictalscope {

void MinMaxPyramid::Cover(std::array<const double*, 2> sources, int64_t count) {
  count = std::max<int64_t>(count, 0);
  if (sources != sources_ || count < count_) {
    sources_ = sources;
    levels_.clear();
    ++builds_;
  }
  count_ = count;
  Extend();
}

// Adds the nodes that the covered samples complete, level by level.
void MinMaxPyramid::Extend() {
  if (levels_.empty()) levels_.emplace_back();
  std::vector<MinMax>& blocks = levels_[0];
  for (int64_t b = static_cast<int64_t>(blocks.size()); b < count_ / kBlockSamples; ++b) {
    blocks.push_back(Scan(b * kBlockSamples, (b + 1) * kBlockSamples));
  }
  for (size_t level = 0; levels_[level].size() >= static_cast<size_t>(kFanOut); ++level) {
    if (level + 1 == levels_.size()) levels_.emplace_back();
    const std::vector<MinMax>& below = levels_[level];
    std::vector<MinMax>& above = levels_[level + 1];
    for (size_t node = above.size(); node < below.size() / kFanOut; ++node) {
      MinMax extremes;
      for (size_t i = node * kFanOut; i < (node + 1) * kFanOut; ++i) extremes.Add(below[i]);
      above.push_back(extremes);
    }
  }
}

MinMax MinMaxPyramid::Scan(int64_t begin, int64_t end) const {
  MinMax extremes;
  for (const double* source : sources_) {
    if (source == nullptr) continue;
    double low = extremes.min, high = extremes.max;
    for (int64_t k = begin; k < end; ++k) {
      const double v = source[k];
      low = v < low ? v : low;
      high = v > high ? v : high;
    }
    extremes = {low, high};
  }
  return extremes;
}

// The whole blocks inside the range climb the levels: at each level the nodes at the range's
// ends that do not make up a whole node of the level above are taken, the rest climbs.
MinMax MinMaxPyramid::Of(int64_t begin, int64_t end) const {
  begin = std::max<int64_t>(begin, 0);
  end = std::min(end, count_);
  if (end - begin < 2 * kBlockSamples) return Scan(begin, end);
  int64_t first = (begin + kBlockSamples - 1) / kBlockSamples;
  int64_t last = end / kBlockSamples;  // blocks [first, last) lie inside
  MinMax extremes = Scan(begin, first * kBlockSamples);
  extremes.Add(Scan(last * kBlockSamples, end));
  for (size_t level = 0; first < last; ++level) {
    const std::vector<MinMax>& nodes = levels_[level];
    const bool top = level + 1 == levels_.size();
    while (first < last && (top || first % kFanOut != 0)) extremes.Add(nodes[first++]);
    while (first < last && last % kFanOut != 0) extremes.Add(nodes[--last]);
    first /= kFanOut;
    last /= kFanOut;
  }
  return extremes;
}

}  // namespace ictalscope
