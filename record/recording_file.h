// A recording read back for analysis: Kolvane's CSV (from the logger or the
// panel's record entry), or a plain text file of one number per line, as
// other counters and tools export. Every line is checked; the first that is
// malformed stops the reading with its line number.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "record/recording_grid.h"
#include "record/series.h"
#include "record/stability.h"
#include "record/statistics.h"

namespace kolvane::record {

// How to take the numbers of a plain file.
struct PlainNumbers {
  std::optional<double> tau0S;  // required for a plain file
  bool phase = false;           // phase in seconds; else frequency
  bool fractional = false;      // the frequency values are fractional already
  // Set from the command line, for a CSV, which has its own: an error there.
  bool given = false;
};

struct Recording {
  bool csv = false;
  // CSV: the rows as the logger's statistics and grid take them.
  Statistics stats;
  RecordingGrid grid;
  // Plain file: the summary of the numbers and the numbers over time.
  Summary plainSummary;
  ReadingSeries plainSeries;

  // The grid for the analysis, and whether the deviations apply to it.
  StabilityInput input;
  bool applies = false;

  Summary Summarize() const { return csv ? stats.Summarize() : plainSummary; }
  const ReadingSeries& Series() const { return csv ? stats.Series() : plainSeries; }
};

// Reads the text of a file; `name` is the file's name for the messages. On
// failure returns false with *error as "NAME:LINE: reason" (or "NAME:
// reason" for the file as a whole).
bool ParseRecording(std::string_view text, const std::string& name, const PlainNumbers& plain,
                    Recording* out, std::string* error);
// Reads the file at `path` whole, then parses it.
bool ReadRecording(const std::filesystem::path& path, const std::string& name,
                   const PlainNumbers& plain, Recording* out, std::string* error);

}  // namespace kolvane::record
