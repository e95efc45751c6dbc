// The rows of a recording on their tau0 grid, as the stability analysis takes
// them. The logger feeds it the rows it records and the file reader the rows
// it reads back, so that a run and its CSV are analysed alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "measure/reading_sink.h"
#include "record/series.h"
#include "record/stability.h"
#include "record/statistics.h"

namespace kolvane::record {

class RecordingGrid {
 public:
  // Every row in order, elapsedS as the CSV has it (kept to the ms). OL and
  // stop rows, and rows of a mode other than the first row's, are missing
  // points.
  void Add(const ShownReading& shown, double elapsedS);
  std::size_t Rows() const { return rows_.Size(); }
  // Frequency or period: the readings have a fractional frequency.
  bool Applies() const;

  // y = f/mean - 1 (frequency) or mean/T - 1 (period) on the grid of tau0,
  // the median interval between rows, with NaN at each missing point; tau0
  // is NaN with fewer than two rows. For tau0 of 0.1 s or more, an interval
  // over 1.5 tau0 leaves round(interval / tau0) - 1 missing points. Where
  // the readings have no fractional frequency, present points are 0.
  // Fails (with the index of the row after it in *badRow) when a gap would
  // leave more missing points than a recording of that length can hold.
  bool Build(StabilityInput* out, std::size_t* badRow, std::string* why) const;

  std::size_t BytesUsed() const { return sizeof *this - sizeof rows_ + rows_.BytesUsed(); }

 private:
  bool started_ = false;
  std::uint32_t mode_ = 0;
  std::optional<ReadingUnit> unit_;  // of the first ok reading
  ReadingSeries rows_;               // NaN at a missing point
};

// The analysis of a grid: the deviations where they apply (else none and no
// drift), and the missing points in any case.
StabilityResult AnalyseGrid(const StabilityInput& input, bool applies,
                            const AnalysisOptions& options);
// The same, into the summary that reports it.
void AddAnalysis(const StabilityInput& input, bool applies, const AnalysisOptions& options,
                 Summary* summary);

}  // namespace kolvane::record
