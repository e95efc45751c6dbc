// Streaming statistics of a recording: running mean and spread of the ok
// readings, counts of overflows and stops, and at the end the median
// interval and the overlapping Allan deviation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "measure/reading_sink.h"
#include "record/series.h"
#include "record/stability.h"

namespace kolvane::record {

struct AdevPoint {
  double tauS = 0;
  double adev = 0;
  std::size_t terms = 0;
};

// What the numbers of a plain file are.
enum class PlainKind { kFrequency, kFractional, kPhase };

// Undefined values are NaN (mean of nothing, stdev of one reading, ...).
struct Summary {
  std::size_t readings = 0;
  std::size_t overflows = 0;
  std::size_t stops = 0;
  std::string mode;      // empty before the first row
  bool hasUnit = false;  // the unit is known once a reading is ok
  std::string unit;
  int decimals = 0;  // the most any ok reading was shown with
  double mean = 0;
  double stdev = 0;
  double min = 0;
  double max = 0;
  double tau0S = 0;
  std::vector<AdevPoint> adev;  // frequency and period only
  // min and max are numbers as a plain file held them, not readings shown
  // with their decimals.
  bool plainNumbers = false;
  PlainKind plainKind = PlainKind::kFrequency;
  // The stability analysis of the fractional frequency, when one was made:
  // the deviations where they apply (frequency and period, a plain file),
  // the drift and the missing points.
  bool analysed = false;
  bool deviationsApply = false;
  double analysisTau0S = 0;  // the grid's interval
  StabilityResult stability;
};

// The overlapping Allan deviation of y_i = x_i / mean - 1 over the series at
// tau = m * tau0 for m = 1, 2, 4, ... while N - 2m + 1 >= 1.
std::vector<AdevPoint> OverlappingAdev(const ReadingSeries& series, double mean, double tau0S);
// The median interval between consecutive readings of the series, in s;
// NaN with fewer than two.
double MedianIntervalS(const ReadingSeries& series);

class Statistics {
 public:
  // The run's mode is that of its first row; rows of another mode or unit
  // (the panel's settings changed while recording) are left out, so the
  // figures never mix kilohertz with microseconds.
  void Add(const ShownReading& shown, double elapsedS);

  std::size_t Count() const { return n_; }
  double Mean() const;
  double Stdev() const;
  const ReadingSeries& Series() const { return series_; }
  Summary Summarize() const;
  std::size_t BytesUsed() const { return sizeof *this - sizeof series_ + series_.BytesUsed(); }

 private:
  bool started_ = false;
  std::uint32_t mode_ = 0;
  bool hasUnit_ = false;
  ReadingUnit unit_ = ReadingUnit::None;
  int decimals_ = 0;
  std::size_t n_ = 0;
  double mean_ = 0;
  double m2_ = 0;
  double min_ = 0;
  double max_ = 0;
  std::size_t overflows_ = 0;
  std::size_t stops_ = 0;
  ReadingSeries series_;
};

}  // namespace kolvane::record
