// The deviations are read from the phase x (seconds) on the tau0 grid, each
// term a difference of phase points: the usual phase-domain estimators of the
// handbook, one pass over the series per tau, with running sums where a term
// is itself a sum (MDEV). A term is summed only where its points are joined
// by measured points; the normalisation counts the terms summed.
#include "record/stability.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>

#include "record/stability_edf.h"
#include "record/stability_noise.h"
#include "record/stability_phase.h"

namespace kolvane::record {

std::string_view DeviationName(Deviation d) {
  switch (d) {
    case Deviation::kAdev:
      return "adev";
    case Deviation::kOadev:
      return "oadev";
    case Deviation::kMdev:
      return "mdev";
    case Deviation::kTdev:
      return "tdev";
    case Deviation::kHdev:
      return "hdev";
    case Deviation::kTotdev:
      return "totdev";
  }
  return "";
}

std::optional<Deviation> DeviationFromName(std::string_view name) {
  for (Deviation d : kAllDeviations) {
    if (DeviationName(d) == name) return d;
  }
  return std::nullopt;
}

std::string_view NoiseName(Noise n) {
  switch (n) {
    case Noise::kWpm:
      return "WPM";
    case Noise::kFpm:
      return "FPM";
    case Noise::kWfm:
      return "WFM";
    case Noise::kFfm:
      return "FFM";
    case Noise::kRwfm:
      return "RWFM";
  }
  return "";
}

namespace {

struct Sum {
  double squares = 0;
  std::uint64_t terms = 0;
  void Add(double term) {
    squares += term * term;
    ++terms;
  }
};

// x_{i+2m} - 2 x_{i+m} + x_i for i = 0, step, 2 step, ...
Sum AllanSum(const PhaseSeries& p, std::size_t m, std::size_t step) {
  Sum s;
  for (std::size_t i = 0; i + 2 * m < p.Size(); i += step) {
    if (p.Joined(i, i + 2 * m)) s.Add(p.Diff(i + m, i + 2 * m) - p.Diff(i, i + m));
  }
  return s;
}

// x_{i+3m} - 3 x_{i+2m} + 3 x_{i+m} - x_i for every i.
Sum HadamardSum(const PhaseSeries& p, std::size_t m) {
  Sum s;
  for (std::size_t i = 0; i + 3 * m < p.Size(); ++i) {
    if (p.Joined(i, i + 3 * m)) {
      s.Add(p.Diff(i + 2 * m, i + 3 * m) - 2 * p.Diff(i + m, i + 2 * m) + p.Diff(i, i + m));
    }
  }
  return s;
}

// The sum over i = j .. j+m-1 of x_{i+2m} - 2 x_{i+m} + x_i for every j, each
// from the last by one difference in and one out: O(N) whatever m.
Sum ModifiedSum(const PhaseSeries& p, std::size_t m) {
  Sum s;
  if (p.Size() < 3 * m) return s;
  // A difference that spans a missing point counts as 0: no term that
  // reads it is summed, and it keeps the running sum clean for those after.
  const auto d = [&](std::size_t i) {
    return p.Joined(i, i + 2 * m) ? p.Diff(i + m, i + 2 * m) - p.Diff(i, i + m) : 0.0;
  };
  // Rounding errors of the running sum grow with its steps; it is summed
  // afresh now and then, at a cost of 1/16 of the pass.
  const std::size_t refresh = 16 * m;
  double q = 0;
  for (std::size_t j = 0; j + 3 * m <= p.Size(); ++j) {
    if (j % refresh == 0) {
      q = 0;
      for (std::size_t i = j; i < j + m; ++i) q += d(i);
    } else {
      q += d(j + m - 1) - d(j - 1);
    }
    if (p.Joined(j, j + 3 * m - 1)) s.Add(q);
  }
  return s;
}

// x*_{i-m} - 2 x*_i + x*_{i+m} for i = 1 .. N-2, where x* extends the phase
// past either end by its reflection: x*_{-j} = 2 x_0 - x_j and x*_{L+j} =
// 2 x_L - x_{L-j}, L = N - 1.
Sum TotalSum(const PhaseSeries& p, std::size_t m) {
  Sum s;
  if (p.Size() < 3) return s;
  const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(p.Size()) - 1;
  bool ok = true;
  const auto diff = [&](std::ptrdiff_t a, std::ptrdiff_t b) {
    const auto ua = static_cast<std::size_t>(a), ub = static_cast<std::size_t>(b);
    ok = ok && p.Joined(ua, ub);
    return p.Diff(ua, ub);
  };
  // x*_b - x*_a for a < b, at most one end reflected (m <= L / 2).
  const auto window = [&](std::ptrdiff_t a, std::ptrdiff_t b) {
    if (a < 0) return diff(0, -a) + diff(0, b);
    if (b > last) return diff(a, last) + diff(2 * last - b, last);
    return diff(a, b);
  };
  const auto sm = static_cast<std::ptrdiff_t>(m);
  for (std::ptrdiff_t i = 1; i < last; ++i) {
    ok = true;
    const double term = window(i, i + sm) - window(i - sm, i);
    if (ok) s.Add(term);
  }
  return s;
}

// The largest m at which a deviation has a term over n phase points.
std::size_t MaxFactor(Deviation d, std::size_t n) {
  switch (d) {
    case Deviation::kAdev:
    case Deviation::kOadev:
    case Deviation::kTotdev:
      return n >= 3 ? (n - 1) / 2 : 0;
    case Deviation::kMdev:
    case Deviation::kTdev:
      return n / 3;
    case Deviation::kHdev:
      return n >= 4 ? (n - 1) / 3 : 0;
  }
  return 0;
}

std::vector<std::size_t> Factors(TauSpacing spacing, std::size_t max) {
  std::vector<std::size_t> out;
  if (spacing == TauSpacing::kOctave) {
    for (std::size_t m = 1; m <= max; m *= 2) out.push_back(m);
  } else {
    for (std::size_t decade = 1; decade <= max; decade *= 10) {
      for (std::size_t step : {1, 2, 5}) {
        if (step * decade <= max) out.push_back(step * decade);
      }
    }
  }
  return out;
}

GapReport CountGaps(const std::vector<double>& values) {
  GapReport g;
  bool inGap = false;
  for (double v : values) {
    const bool missing = !std::isfinite(v);
    g.missing += missing;
    g.intervals += missing && !inGap;
    inGap = missing;
  }
  return g;
}

struct Line {
  std::size_t points = 0;
  double slope = 0;  // per second
  double tMid = 0;   // mean time of the points, s
};

// Least squares of y against t_i = i tau0 over the valid points; for phase,
// y_i = (x_{i+1} - x_i) / tau0 where both are valid.
Line FitFrequency(const StabilityInput& in) {
  const std::vector<double>& v = in.values;
  const std::size_t n = in.phase ? (v.empty() ? 0 : v.size() - 1) : v.size();
  const auto y = [&](std::size_t i) { return in.phase ? (v[i + 1] - v[i]) / in.tau0 : v[i]; };
  Line line;
  double tMean = 0, yMean = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double yi = y(i);
    if (!std::isfinite(yi)) continue;
    ++line.points;
    const double k = static_cast<double>(line.points);
    tMean += (static_cast<double>(i) * in.tau0 - tMean) / k;
    yMean += (yi - yMean) / k;
  }
  double ty = 0, tt = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double yi = y(i);
    if (!std::isfinite(yi)) continue;
    const double t = static_cast<double>(i) * in.tau0 - tMean;
    ty += t * (yi - yMean);
    tt += t * t;
  }
  line.slope = tt > 0 ? ty / tt : 0;
  line.tMid = tMean;
  return line;
}

double Deviate(Deviation kind, const Sum& s, std::size_t m, double tau0) {
  const double tau = static_cast<double>(m) * tau0;
  const double meanSquare = s.squares / static_cast<double>(s.terms);
  switch (kind) {
    case Deviation::kAdev:
    case Deviation::kOadev:
    case Deviation::kTotdev:
      return std::sqrt(meanSquare / 2) / tau;
    case Deviation::kMdev:
      return std::sqrt(meanSquare / 2) / (static_cast<double>(m) * tau);
    case Deviation::kTdev:
      return std::sqrt(meanSquare / 6) / static_cast<double>(m);
    case Deviation::kHdev:
      return std::sqrt(meanSquare / 6) / tau;
  }
  return 0;
}

}  // namespace

StabilityResult AnalyzeStability(const StabilityInput& input, const AnalysisOptions& options) {
  StabilityResult result;
  for (Deviation d : options.deviations) result.curves.push_back({d, {}});
  result.gaps = CountGaps(input.values);
  const double tau0 = input.tau0;
  if (!(tau0 > 0) || !std::isfinite(tau0)) return result;

  const Line line = FitFrequency(input);
  if (line.points >= 3 && std::isfinite(line.slope)) {
    result.drift = DriftFit{line.slope, line.slope * 86400, options.removeDrift};
  }
  const double drift = result.drift && options.removeDrift ? line.slope : 0;
  const PhaseSeries p = input.phase
                            ? PhaseSeries::FromPhase(input.values, tau0, drift)
                            : PhaseSeries::FromFrequency(input.values, tau0, drift, line.tMid);

  std::size_t maxM = 0;
  for (Deviation d : options.deviations) maxM = std::max(maxM, MaxFactor(d, p.Size()));
  const std::vector<std::size_t> factors = Factors(options.taus, maxM);

  // Shared between the curves: the noise at each m, and MDEV's sum for TDEV.
  std::map<std::size_t, std::optional<int>> noise;
  std::map<std::size_t, Sum> modified;
  for (DeviationCurve& curve : result.curves) {
    // Where the noise cannot be told, it is taken to be no whiter than at
    // the last tau that told it (noise reddens with tau), and the edf is the
    // least of those noises': the wider interval, never a narrower one.
    int whitest = 2;
    for (std::size_t m : factors) {
      if (m > MaxFactor(curve.kind, p.Size())) break;
      Sum s;
      switch (curve.kind) {
        case Deviation::kAdev:
          s = AllanSum(p, m, m);
          break;
        case Deviation::kOadev:
          s = AllanSum(p, m, 1);
          break;
        case Deviation::kMdev:
        case Deviation::kTdev: {
          const auto [it, fresh] = modified.try_emplace(m);
          if (fresh) it->second = ModifiedSum(p, m);
          s = it->second;
          break;
        }
        case Deviation::kHdev:
          s = HadamardSum(p, m);
          break;
        case Deviation::kTotdev:
          s = TotalSum(p, m);
          break;
      }
      if (s.terms == 0) continue;
      DeviationPoint point;
      point.tau = static_cast<double>(m) * tau0;
      point.value = Deviate(curve.kind, s, m, tau0);
      // Values past the range of a double (1e300 and the like) give no figure.
      if (!std::isfinite(point.value)) continue;
      point.terms = s.terms;
      const auto [it, fresh] = noise.try_emplace(m);
      if (fresh) it->second = NoiseAlpha(p, input.phase ? &input.values : nullptr, m);
      const double md = static_cast<double>(m), terms = static_cast<double>(s.terms);
      if (it->second) {
        whitest = *it->second;
        point.noise = static_cast<Noise>(2 - whitest);
        point.edf = EquivalentDof(curve.kind, whitest, md, terms);
      } else {
        point.edf = EquivalentDof(curve.kind, whitest, md, terms);
        for (int alpha = whitest - 1; alpha >= -2; --alpha) {
          point.edf = std::min(point.edf, EquivalentDof(curve.kind, alpha, md, terms));
        }
      }
      ConfidenceInterval(point.value, point.edf, &point.low, &point.high);
      curve.points.push_back(point);
    }
  }
  return result;
}

}  // namespace kolvane::record
