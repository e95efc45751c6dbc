#include "record/reading_window.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "record/csv.h"
#include "record/names.h"

namespace kolvane::record {

namespace {

constexpr std::size_t kAutoBinsMax = 100;

bool Ok(const WindowRow& row) {
  return StatusOf(row.shown) == RowStatus::Ok && std::isfinite(row.shown.reading.value);
}

// Another function, or an ok reading in another unit than the set's.
bool Differs(const std::deque<WindowRow>& rows, const ShownReading& next) {
  if (rows.empty()) return false;
  if (rows.front().shown.measureMode != next.measureMode) return true;
  if (StatusOf(next) != RowStatus::Ok) return false;
  for (const WindowRow& r : rows) {
    if (StatusOf(r.shown) == RowStatus::Ok)
      return r.shown.reading.format.unit != next.reading.format.unit;
  }
  return false;
}

}  // namespace

bool ReadingWindow::Add(const WindowRow& row) {
  if (paused_) return false;
  const bool changed = Differs(rows_, row.shown);
  if (changed) {
    Clear();
    clearedByChange_ = true;
  }
  rows_.push_back(row);
  Drop();
  ++revision_;
  if (limits_.Any()) {
    const RowStatus status = StatusOf(row.shown);
    const bool fail = status == RowStatus::Overflow ||
                      (status == RowStatus::Ok && Outside(row.shown.reading.value));
    if (status != RowStatus::Stop) ++(fail ? failed_ : passed_);
    if (fail && !firstFailure_) firstFailure_ = row.wallMs;
  }
  return changed;
}

void ReadingWindow::Clear() {
  rows_.clear();
  passed_ = failed_ = 0;
  firstFailure_.reset();
  clearedByChange_ = false;
  ++revision_;
}

void ReadingWindow::SetSize(std::size_t size) {
  size_ = std::clamp<std::size_t>(size, 1, kMaxSize);
  Drop();
  ++revision_;
}

void ReadingWindow::SetLimits(const Limits& limits) {
  limits_ = limits;
  passed_ = failed_ = 0;
  firstFailure_.reset();
  ++revision_;
}

void ReadingWindow::Drop() {
  while (rows_.size() > size_) rows_.pop_front();
}

bool ReadingWindow::Outside(double value) const {
  return (limits_.lower && value < *limits_.lower) || (limits_.upper && value > *limits_.upper);
}

Summary ReadingWindow::Summarize() const {
  Statistics stats;
  const std::int64_t first = rows_.empty() ? 0 : rows_.front().monoMs;
  for (const WindowRow& r : rows_) {
    stats.Add(r.shown, static_cast<double>(r.monoMs - first) / 1000.0);
  }
  return stats.Summarize();
}

Histogram ReadingWindow::MakeHistogram() const {
  Histogram h;
  std::size_t n = 0;
  double min = 0, max = 0;
  int decimals = 0;
  for (const WindowRow& r : rows_) {
    if (!Ok(r)) continue;
    const double v = r.shown.reading.value;
    min = n == 0 ? v : std::min(min, v);
    max = n == 0 ? v : std::max(max, v);
    decimals = std::max(decimals, r.shown.reading.format.decimals);
    ++n;
  }
  if (n == 0) return h;
  std::size_t bins = bins_;
  if (bins == 0) {
    bins = std::min(kAutoBinsMax, static_cast<std::size_t>(std::ceil(std::sqrt(n))));
  }
  const double span = max - min;
  // The readings step by the display's last digit: automatic bins are a
  // whole number of steps wide, centred on them, or they would comb.
  const double step = std::pow(10.0, -std::min(decimals, 15));
  if (bins_ == 0) {
    const auto steps = static_cast<std::size_t>(std::llround(span / step));
    const std::size_t per = std::max<std::size_t>(1, (steps + bins - 1) / bins);
    bins = steps / per + 1;
    h.lo = min - step / 2;
    h.width = step * static_cast<double>(per);
  } else {
    h.lo = min;
    h.width = span > 0 ? span / static_cast<double>(bins) : step;
  }
  h.counts.assign(bins, 0);
  for (const WindowRow& r : rows_) {
    if (!Ok(r)) continue;
    const double at = (r.shown.reading.value - h.lo) / h.width;
    const auto i = static_cast<std::size_t>(std::clamp(at, 0.0, static_cast<double>(bins - 1)));
    ++h.counts[i];
  }
  return h;
}

Trend ReadingWindow::MakeTrend(std::size_t points) const {
  Trend t;
  std::vector<std::size_t> ok;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (Ok(rows_[i])) ok.push_back(i);
  }
  const auto put = [&](std::size_t i) {
    const WindowRow& r = rows_[i];
    if (Outside(r.shown.reading.value)) t.failing.push_back(t.values.size());
    t.elapsedS.push_back(static_cast<double>(r.monoMs - rows_.front().monoMs) / 1000.0);
    t.values.push_back(r.shown.reading.value);
  };
  if (ok.size() <= points || points < 2) {
    for (std::size_t i : ok) put(i);
    return t;
  }
  const std::size_t buckets = points / 2;
  for (std::size_t b = 0; b < buckets; ++b) {
    const std::size_t from = ok.size() * b / buckets, to = ok.size() * (b + 1) / buckets;
    std::size_t lo = from, hi = from;
    for (std::size_t k = from; k < to; ++k) {
      const double v = rows_[ok[k]].shown.reading.value;
      if (v < rows_[ok[lo]].shown.reading.value) lo = k;
      if (v > rows_[ok[hi]].shown.reading.value) hi = k;
    }
    put(ok[std::min(lo, hi)]);
    if (lo != hi) put(ok[std::max(lo, hi)]);
  }
  return t;
}

std::string ReadingWindow::Csv() const {
  // The logger's writer, so that the file is one the logger reads back.
  std::ostringstream out(std::ios::binary);
  CsvWriter writer(out);
  writer.WriteHeader();
  const std::int64_t first = rows_.empty() ? 0 : rows_.front().monoMs;
  for (const WindowRow& r : rows_) {
    writer.WriteRow(r.shown, r.wallMs, static_cast<double>(r.monoMs - first) / 1000.0);
  }
  return out.str();
}

}  // namespace kolvane::record
