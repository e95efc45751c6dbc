// The last N readings the instrument showed, for the server's /readings
// page: their statistics (through the logger's Statistics), a limit test
// with pass and fail counts, a histogram, a trend thinned for drawing, and
// the set as the logger's CSV. One function and unit at a time: a reading
// of another clears the set. Not thread-safe; the caller guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "measure/reading_sink.h"
#include "record/statistics.h"

namespace kolvane::record {

struct WindowRow {
  ShownReading shown;
  std::int64_t wallMs = 0;  // the CSV's time column
  std::int64_t monoMs = 0;  // for elapsed_s, from the set's first row
};

// In the unit the panel shows the readings in.
struct Limits {
  std::optional<double> lower;
  std::optional<double> upper;
  bool Any() const { return lower || upper; }
};

struct Histogram {
  double lo = 0;
  double width = 0;
  std::vector<std::size_t> counts;
};

// The trend as drawn: at most `points` readings, kept in order; each
// bucket of the set gives its lowest and highest, so no spike is lost.
struct Trend {
  std::vector<double> elapsedS;
  std::vector<double> values;
  std::vector<std::size_t> failing;  // indices into the two above
};

class ReadingWindow {
 public:
  static constexpr std::size_t kDefaultSize = 10000;
  static constexpr std::size_t kMaxSize = 100000;
  static constexpr std::size_t kMaxBins = 1000;

  // Nothing is kept while paused. True when the row's function or unit
  // differs from the set's, which cleared the set first.
  bool Add(const WindowRow& row);
  void Clear();
  void Pause(bool paused) {
    paused_ = paused;
    ++revision_;
  }
  bool Paused() const { return paused_; }
  // 1..kMaxSize; a smaller size drops the oldest rows.
  void SetSize(std::size_t size);
  std::size_t Size() const { return size_; }
  // 0: automatic; else at most kMaxBins.
  void SetBins(std::size_t bins) {
    bins_ = bins < kMaxBins ? bins : kMaxBins;
    ++revision_;
  }
  std::size_t Bins() const { return bins_; }
  // The counts start again from the next reading.
  void SetLimits(const Limits& limits);
  const Limits& GetLimits() const { return limits_; }

  // The set was last cleared by a reading of another function or unit.
  bool ClearedByChange() const { return clearedByChange_; }
  std::size_t Rows() const { return rows_.size(); }
  const std::deque<WindowRow>& All() const { return rows_; }
  // Changes with every row added or dropped and every setting.
  std::uint64_t Revision() const { return revision_; }

  // Readings tested against the limits since they were set or the set was
  // cleared: an overflow fails, a stop is not tested.
  std::size_t Passed() const { return passed_; }
  std::size_t Failed() const { return failed_; }
  std::optional<std::int64_t> FirstFailureWallMs() const { return firstFailure_; }
  bool Outside(double value) const;

  // The logger's figures over the set's ok readings.
  Summary Summarize() const;
  Histogram MakeHistogram() const;
  Trend MakeTrend(std::size_t points) const;
  // The header and a row per reading, elapsed_s from the first row.
  std::string Csv() const;

 private:
  void Drop();

  std::deque<WindowRow> rows_;
  std::size_t size_ = kDefaultSize;
  std::size_t bins_ = 0;
  bool paused_ = false;
  Limits limits_;
  std::size_t passed_ = 0;
  std::size_t failed_ = 0;
  std::optional<std::int64_t> firstFailure_;
  std::uint64_t revision_ = 0;
  bool clearedByChange_ = false;
};

}  // namespace kolvane::record
