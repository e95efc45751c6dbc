// The recording reader on any file: the first byte says how a plain file of
// numbers is to be taken, the rest is the file. A file is either read whole
// or refused with its name, line and reason; what is read goes through the
// analysis, whose every figure must be finite or left out.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "record/recording_file.h"
#include "record/recording_grid.h"

namespace {

[[noreturn]] void Fail(const char* invariant, const std::string& detail) {
  std::fprintf(stderr, "invariant broken: %s (%s)\n", invariant, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kolvane::record;
  if (size == 0) return 0;
  const std::uint8_t how = data[0];
  static constexpr double kTau0[] = {1e-3, 0.1, 1, 10};
  PlainNumbers plain;
  if ((how & 1) != 0) plain.tau0S = kTau0[(how >> 4) & 3];
  plain.phase = (how & 2) != 0;
  plain.fractional = (how & 4) != 0 && !plain.phase;
  plain.given = (how & 8) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  Recording recording;
  std::string error;
  const bool ok = ParseRecording(text, "f", plain, &recording, &error);
  if (!ok) {
    if (error.rfind("f:", 0) != 0) Fail("an error names the file", error);
    return 0;
  }
  if (!error.empty()) Fail("a file read has no error", error);
  const StabilityInput& in = recording.input;
  if (recording.csv && in.values.size() < recording.grid.Rows()) {
    Fail("every row is a point of the grid", std::to_string(in.values.size()));
  }
  // Sums of squares of numbers beyond this may overflow, which no counter's
  // readings come near.
  bool moderate = true;
  for (const double v : in.values) {
    if (std::isinf(v)) Fail("points are finite or missing", std::to_string(v));
    moderate = moderate && !(std::abs(v) > 1e100);
  }
  AnalysisOptions options;
  options.deviations.assign(std::begin(kAllDeviations), std::end(kAllDeviations));
  options.removeDrift = (how & 0x40) != 0;
  options.taus = (how & 0x80) != 0 ? TauSpacing::kDecade : TauSpacing::kOctave;
  const StabilityResult r = AnalyseGrid(in, recording.applies, options);
  for (const DeviationCurve& c : r.curves) {
    for (const DeviationPoint& p : c.points) {
      if (!(p.tau > 0) || (moderate && !std::isfinite(p.value)) || p.terms == 0) {
        Fail("a deviation's point has a tau, a finite value and terms", std::to_string(p.tau));
      }
    }
  }
  if (r.gaps.intervals > r.gaps.missing) Fail("a gap holds a missing point", "");
  return 0;
}
