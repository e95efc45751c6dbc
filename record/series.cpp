#include "record/series.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kolvane::record {

void ReadingSeries::Add(double elapsedS, double value) {
  auto ms = static_cast<std::int64_t>(std::llround(elapsedS * 1000.0));
  constexpr std::int64_t kSpan = std::numeric_limits<std::uint32_t>::max();
  // A block also ends early when its offsets would outgrow 32 bits (weeks
  // between readings), so a long run never wraps its times.
  if (chunks_.empty() || chunks_.back().count == kBlock || ms - chunks_.back().baseMs > kSpan) {
    if (!chunks_.empty() && chunks_.back().count != kBlock) allFull_ = false;
    Chunk c;
    c.first = size_;
    c.baseMs = ms;
    c.values = std::make_unique_for_overwrite<double[]>(kBlock);
    c.offsetMs = std::make_unique_for_overwrite<std::uint32_t[]>(kBlock);
    chunks_.push_back(std::move(c));
  }
  Chunk& c = chunks_.back();
  ms = std::max(ms, c.baseMs);  // the clock is monotonic; never below the base
  c.values[c.count] = value;
  c.offsetMs[c.count] = static_cast<std::uint32_t>(ms - c.baseMs);
  ++c.count;
  ++size_;
}

const ReadingSeries::Chunk& ReadingSeries::Search(std::size_t i) const {
  const auto it =
      std::upper_bound(chunks_.begin(), chunks_.end(), i,
                       [](std::size_t index, const Chunk& c) { return index < c.first; });
  return *(it - 1);
}

std::size_t ReadingSeries::BytesUsed() const {
  return sizeof *this + chunks_.capacity() * sizeof(Chunk) +
         chunks_.size() * kBlock * (sizeof(double) + sizeof(std::uint32_t));
}

}  // namespace kolvane::record
