// The CSV of a recording: one row per shown result, flushed as it is written
// so that a crash or a pulled cable loses nothing already read.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "measure/reading_sink.h"

namespace kolvane::record {

inline constexpr std::string_view kCsvHeader = "time,elapsed_s,mode,value,unit,status";

// "2026-12-07T15:04:05.123Z" for milliseconds since 1970-01-01 UTC, computed
// by calendar arithmetic so no time zone or C library state can enter.
std::string FormatUtcMs(std::int64_t msSinceEpoch);

// One row with its line feed. `elapsedS` is the monotonic time since the
// first row; the value is written exactly as the panel shows it.
std::string CsvRow(const ShownReading& shown, std::int64_t wallMs, double elapsedS);

// Writes rows as plain bytes (no number passes through the stream's locale)
// and flushes after each. Open files in binary mode so a line stays "\n".
class CsvWriter {
 public:
  explicit CsvWriter(std::ostream& out) : out_(out) {}
  bool WriteHeader();
  bool WriteRow(const ShownReading& shown, std::int64_t wallMs, double elapsedS);
  // False once a write or flush has failed.
  bool Good() const { return static_cast<bool>(out_); }

 private:
  bool Put(std::string_view text);
  std::ostream& out_;
};

}  // namespace kolvane::record
