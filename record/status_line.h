// The one-line live status of a run, as text only: the caller decides where
// and whether it is shown.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kolvane::record {

struct StatusInfo {
  double elapsedS = 0;
  std::optional<double> fraction;  // 0..1 when a count or duration bounds the run
  std::string last;                // the last reading ("12.34 kHz", "OL", "stop")
  std::size_t n = 0;
  double mean = 0;   // NaN when undefined
  double stdev = 0;  // NaN when undefined
};

// At most `width` characters, all ASCII; the progress bar shrinks and goes first,
// then the least useful figures, from the end.
std::string StatusLine(const StatusInfo& info, std::size_t width);

}  // namespace kolvane::record
