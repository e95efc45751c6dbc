// The reading sink of a recording: each shown result becomes a CSV row and
// feeds the statistics. The panel and the logger both record through it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>

#include "measure/reading_sink.h"
#include "record/csv.h"
#include "record/recording_grid.h"
#include "record/statistics.h"

namespace kolvane::record {

struct Instant {
  std::int64_t wallMs = 0;  // UTC, ms since 1970-01-01
  double monotonicS = 0;    // any origin; never goes backwards
};

// Now, from the system's calendar clock and its steady clock.
Instant SystemNow();

class Recorder : public IReadingSink {
 public:
  // Either of `csv` and `stats` may be null. The header is written at once.
  Recorder(std::ostream* csv, Statistics* stats, std::function<Instant()> now);

  void OnShown(const ShownReading& shown) override;
  // Also hands every row to `grid` (may be null) with the time the CSV has.
  void SetGrid(RecordingGrid* grid) { grid_ = grid; }

  // A write to the CSV failed; later rows are not attempted.
  bool WriteFailed() const { return failed_; }
  std::size_t Rows() const { return rows_; }
  const std::optional<ShownReading>& Last() const { return last_; }
  // Seconds since the first row; 0 before it.
  double ElapsedS() const;

 private:
  std::optional<CsvWriter> csv_;
  Statistics* stats_;
  RecordingGrid* grid_ = nullptr;
  std::function<Instant()> now_;
  std::optional<double> firstS_;
  std::size_t rows_ = 0;
  bool failed_ = false;
  std::optional<ShownReading> last_;
};

}  // namespace kolvane::record
