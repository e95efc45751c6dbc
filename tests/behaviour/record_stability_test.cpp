#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "record/stability.h"
#include "record/stability_edf.h"

namespace kolvane::record {
namespace {

using D = Deviation;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

AnalysisOptions Every(TauSpacing taus = TauSpacing::kOctave, bool removeDrift = false) {
  return {{std::begin(kAllDeviations), std::end(kAllDeviations)}, taus, removeDrift};
}

const DeviationPoint* At(const StabilityResult& r, Deviation kind, double tau) {
  for (const DeviationCurve& c : r.curves) {
    for (const DeviationPoint& p : c.points) {
      if (c.kind == kind && std::fabs(p.tau - tau) < 1e-9 * tau) return &p;
    }
  }
  return nullptr;
}

// Gaussian numbers by Box-Muller from a seeded generator: the same everywhere.
class Normal {
 public:
  explicit Normal(unsigned seed) : g_(seed) {}
  double operator()() {
    const double u = (static_cast<double>(g_() >> 11) + 0.5) * 0x1p-53;
    const double v = static_cast<double>(g_() >> 11) * 0x1p-53;
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * v);
  }
  std::vector<double> White(std::size_t n) {
    std::vector<double> out(n);
    for (double& v : out) v = (*this)();
    return out;
  }
  // 1/f noise: first-order filters an octave apart, equal in variance.
  std::vector<double> Flicker(std::size_t n) {
    std::vector<double> state(20, 0.0), out(n, 0.0);
    for (double& v : out) {
      for (std::size_t k = 0; k < state.size(); ++k) {
        const double r = 1 - std::ldexp(1.0, -static_cast<int>(k));
        state[k] = r * state[k] + std::sqrt(1 - r * r) * (*this)();
        v += state[k];
      }
    }
    return out;
  }

 private:
  std::mt19937_64 g_;
};

std::vector<double> Differences(const std::vector<double>& v) {
  std::vector<double> out;
  for (std::size_t i = 1; i < v.size(); ++i) out.push_back(v[i] - v[i - 1]);
  return out;
}

std::vector<double> Phase(const std::vector<double>& y, double tau0) {
  std::vector<double> x{0.0};
  for (double v : y) x.push_back(x.back() + v * tau0);
  return x;
}

struct Published {
  Deviation kind;
  std::vector<double> values;
  std::vector<std::uint64_t> terms;
};

// The handbook's 10-point NBS14 set (frequency, and its phase as printed)
// and the deviations it tabulates at m = 1, 2; HDEV is the overlapping one.
TEST(StabilityNbs14, TenPointSetGivesThePublishedDeviations) {
  const std::vector<double> y = {892, 809, 823, 798, 671, 644, 883, 903, 677};
  const std::vector<double> x = {0,        103.11111, 123.22222, 157.33333, 166.44444,
                                 48.55555, -96.33333, -2.22222,  111.88889, 0};
  const Published table[] = {
      {D::kAdev, {91.22945, 115.8082}, {8, 3}}, {D::kOadev, {91.22945, 85.95287}, {8, 6}},
      {D::kMdev, {91.22945, 74.78849}, {8, 5}}, {D::kTdev, {52.67135, 86.35831}, {8, 5}},
      {D::kHdev, {70.80607, 85.61487}, {7, 4}}, {D::kTotdev, {91.22945, 93.90379}, {8, 8}}};
  for (bool phase : {false, true}) {
    const StabilityResult r = AnalyzeStability({1.0, phase ? x : y, phase}, Every());
    for (const Published& row : table) {
      for (std::size_t k = 0; k < 2; ++k) {
        const DeviationPoint* p = At(r, row.kind, k + 1.0);
        ASSERT_NE(p, nullptr) << DeviationName(row.kind) << " m=" << k + 1;
        EXPECT_NEAR(p->value / row.values[k], 1, 1e-6) << DeviationName(row.kind) << " m=" << k + 1;
        EXPECT_EQ(p->terms, row.terms[k]) << DeviationName(row.kind) << " m=" << k + 1;
        EXPECT_FALSE(p->noise) << "9 points are too few to tell the noise";
        EXPECT_TRUE(p->low < p->value && p->value < p->high);
      }
    }
  }
}

// The 1000-point set from the handbook's generator n_{i+1} = 16807 n_i mod
// (2^31 - 1), n_0 = 1234567890, y_i = n_i / (2^31 - 1); tabulated at m = 1, 10, 100.
TEST(StabilityNbs14, ThousandPointSetGivesThePublishedDeviations) {
  std::vector<double> y;
  for (std::uint64_t n = 1234567890; y.size() < 1000; n = 16807 * n % 2147483647) {
    y.push_back(static_cast<double>(n) / 2147483647.0);
  }
  const Published table[] = {{D::kAdev, {2.922319e-01, 9.965736e-02, 3.897804e-02}, {}},
                             {D::kOadev, {2.922319e-01, 9.159953e-02, 3.241343e-02}, {}},
                             {D::kMdev, {2.922319e-01, 6.172376e-02, 2.170921e-02}, {}},
                             {D::kTdev, {1.687202e-01, 3.563623e-01, 1.253382e+00}, {}},
                             {D::kHdev, {2.943883e-01, 9.581083e-02, 3.237638e-02}, {}},
                             {D::kTotdev, {2.922319e-01, 9.134743e-02, 3.406530e-02}, {}}};
  for (bool phase : {false, true}) {
    const StabilityResult r =
        AnalyzeStability({1.0, phase ? Phase(y, 1.0) : y, phase}, Every(TauSpacing::kDecade));
    for (const Published& row : table) {
      for (std::size_t k = 0; k < 3; ++k) {
        const double tau = std::pow(10.0, static_cast<double>(k));
        const DeviationPoint* p = At(r, row.kind, tau);
        ASSERT_NE(p, nullptr) << DeviationName(row.kind) << " tau=" << tau;
        EXPECT_NEAR(p->value / row.values[k], 1, 1e-6) << DeviationName(row.kind) << " tau=" << tau;
      }
    }
    // Uniform white numbers: white FM, under which Greenhall's neighbouring
    // terms at m = 1 correlate by -1/3 and -1/6.
    const DeviationPoint* p = At(r, D::kOadev, 1);
    EXPECT_EQ(p->noise, Noise::kWfm);
    EXPECT_NEAR(p->edf, 999 / (1 + 2 * (1 - 1 / 999.0) / 9 + 2 * (1 - 2 / 999.0) / 36), 1e-6);
    EXPECT_NEAR(p->low / p->value, 1 - 1 / std::sqrt(2 * p->edf), 2e-3);
  }
}

TEST(StabilityClosedForms, WhiteFrequencyNoise) {
  Normal normal(1);
  const StabilityResult r = AnalyzeStability({0.1, normal.White(1 << 17), false}, Every());
  const DeviationPoint* first = At(r, D::kOadev, 0.1);
  for (double m = 2; m <= 256; m *= 2) {
    // ADEV ~ tau^-1/2; MVAR / AVAR tends to 1/2.
    EXPECT_NEAR(At(r, D::kOadev, 0.1 * m)->value * std::sqrt(m) / first->value, 1, 0.05);
    if (m >= 16) {
      EXPECT_NEAR(std::pow(At(r, D::kMdev, 0.1 * m)->value / At(r, D::kOadev, 0.1 * m)->value, 2),
                  0.5, 0.04)
          << "m=" << m;
    }
  }
}

// y = D t: every second difference of phase is D tau^2, every third 0.
TEST(StabilityClosedForms, LinearDriftGivesAdevOfDTauOverRootTwoAndNoHdev) {
  const double drift = 2e-12, tau0 = 0.5;
  std::vector<double> y;
  for (int i = 0; i < 1000; ++i) y.push_back(3e-9 + drift * tau0 * i);
  for (bool phase : {false, true}) {
    const StabilityInput in{tau0, phase ? Phase(y, tau0) : y, phase};
    const StabilityResult r = AnalyzeStability(in, Every());
    const StabilityResult removed = AnalyzeStability(in, Every(TauSpacing::kOctave, true));
    ASSERT_TRUE(r.drift && removed.drift);
    EXPECT_NEAR(r.drift->perS / drift, 1, 1e-9);
    EXPECT_NEAR(r.drift->perDay / (86400 * drift), 1, 1e-9);
    EXPECT_FALSE(r.drift->removed);
    EXPECT_TRUE(removed.drift->removed);
    for (const DeviationPoint& p : r.curves[0].points) {
      for (Deviation kind : {D::kAdev, D::kOadev, D::kMdev}) {
        ASSERT_TRUE(At(r, kind, p.tau) && At(removed, kind, p.tau));
        EXPECT_NEAR(At(r, kind, p.tau)->value / (drift * p.tau / std::sqrt(2.0)), 1, 1e-9);
        EXPECT_LT(At(removed, kind, p.tau)->value, 1e-6 * drift * p.tau) << phase;
      }
      if (const DeviationPoint* h = At(r, D::kHdev, p.tau)) {
        EXPECT_LT(h->value, 1e-6 * drift * p.tau);
      }
    }
  }
}

// Each power-law type at tau0, from frequency and from phase.
TEST(StabilityNoise, LagOneAutocorrelationTellsEachPowerLawNoise) {
  constexpr std::size_t kN = 1 << 14;
  const std::function<std::vector<double>(Normal&)> kinds[] = {
      [](Normal& n) { return Differences(n.White(kN + 1)); },
      [](Normal& n) { return Differences(n.Flicker(kN + 1)); },
      [](Normal& n) { return n.White(kN); }, [](Normal& n) { return n.Flicker(kN); },
      [](Normal& n) { return Phase(n.White(kN - 1), 1.0); }};
  const Noise expected[] = {Noise::kWpm, Noise::kFpm, Noise::kWfm, Noise::kFfm, Noise::kRwfm};
  for (std::size_t k = 0; k < 5; ++k) {
    Normal normal(static_cast<unsigned>(10 + k));
    const std::vector<double> y = kinds[k](normal);
    for (bool phase : {false, true}) {
      const StabilityResult r =
          AnalyzeStability({1.0, phase ? Phase(y, 1.0) : y, phase}, {{D::kOadev}});
      EXPECT_EQ(r.curves[0].points[0].noise, expected[k]) << NoiseName(expected[k]) << phase;
      // Below 30 averages the noise cannot be told.
      EXPECT_FALSE(r.curves[0].points.back().noise);
    }
  }
}

// y = A, NaN, B: each sum of squares is A's plus B's, so no term that
// spans the gap is summed and none that does not is changed.
TEST(StabilityGaps, MissingPointLeavesOutOnlyTheTermsThatSpanIt) {
  Normal normal(3);
  const std::vector<double> a = normal.White(511), b = normal.White(600);
  std::vector<double> y = a;
  y.push_back(kNaN);
  y.insert(y.end(), b.begin(), b.end());
  const StabilityResult all = AnalyzeStability({1.0, y, false}, Every());
  const StabilityResult ra = AnalyzeStability({1.0, a, false}, Every());
  const StabilityResult rb = AnalyzeStability({1.0, b, false}, Every());
  EXPECT_EQ(all.gaps.missing, 1u);
  EXPECT_EQ(all.gaps.intervals, 1u);
  for (Deviation kind : {D::kAdev, D::kOadev, D::kMdev, D::kTdev, D::kHdev}) {
    for (double tau = 1; At(all, kind, tau); tau *= 2) {
      double sum = 0;
      std::uint64_t terms = 0;
      for (const StabilityResult* part : {&ra, &rb}) {
        if (const DeviationPoint* p = At(*part, kind, tau)) {
          sum += p->value * p->value * static_cast<double>(p->terms);
          terms += p->terms;
        }
      }
      const DeviationPoint* p = At(all, kind, tau);
      EXPECT_EQ(p->terms, terms) << DeviationName(kind) << " tau=" << tau;
      EXPECT_NEAR(p->value * p->value * static_cast<double>(p->terms) / sum, 1, 1e-9);
    }
  }
}

// Phase after a missing point may sit at any offset: every deviation, TOTDEV
// with its reflections too, reads the same.
TEST(StabilityGaps, PhaseOffsetAcrossAGapChangesNothing) {
  Normal normal(4);
  std::vector<double> x = Phase(normal.White(1000), 1.0);
  x[400] = x[401] = kNaN;
  std::vector<double> shifted = x;
  for (std::size_t i = 402; i < x.size(); ++i) shifted[i] += 1e3;
  const StabilityResult r = AnalyzeStability({1.0, x, true}, Every());
  const StabilityResult s = AnalyzeStability({1.0, shifted, true}, Every());
  EXPECT_EQ(r.gaps.missing, 2u);
  EXPECT_EQ(r.gaps.intervals, 1u);
  for (std::size_t c = 0; c < r.curves.size(); ++c) {
    ASSERT_EQ(r.curves[c].points.size(), s.curves[c].points.size());
    for (std::size_t k = 0; k < r.curves[c].points.size(); ++k) {
      EXPECT_EQ(r.curves[c].points[k].terms, s.curves[c].points[k].terms);
      EXPECT_NEAR(s.curves[c].points[k].value / r.curves[c].points[k].value, 1, 1e-9);
    }
  }
}

TEST(StabilityInputs, TooLittleOrBadInputGivesEmptyCurves) {
  const StabilityInput inputs[] = {{1.0, {}, false},           {1.0, {1.0}, true},
                                   {0.0, {1, 2, 3, 4}, false}, {kNaN, {1, 2, 3, 4}, false},
                                   {1.0, {kNaN, kNaN}, false}, {1.0, {1, kNaN, 2, kNaN}, false}};
  for (const StabilityInput& in : inputs) {
    const StabilityResult r = AnalyzeStability(in, Every());
    ASSERT_EQ(r.curves.size(), 6u);
    for (const DeviationCurve& c : r.curves) EXPECT_TRUE(c.points.empty());
    EXPECT_FALSE(r.drift);
  }
}

// Intervals the handbook's reference program (Stable32 1.60) printed for a
// 19982-point OCXO series at the noise it named: edf and chi-squared agree.
TEST(StabilityEdf, IntervalsMatchTheReferenceProgram) {
  struct Row {
    Deviation kind;
    double m, terms;
    int alpha;
    double low, sigma, high;
  };
  const Row rows[] = {{D::kOadev, 256, 19471, -1, 4.7422e-12, 5.0826e-12, 5.5085e-12},
                      {D::kOadev, 4096, 11791, 0, 7.2435e-12, 9.1057e-12, 1.4019e-11},
                      {D::kMdev, 512, 18448, -2, 3.8984e-12, 4.3832e-12, 5.1095e-12},
                      {D::kMdev, 4096, 7696, 0, 7.3831e-12, 9.8071e-12, 1.9848e-11},
                      {D::kHdev, 1024, 16911, -1, 4.2162e-12, 4.8704e-12, 5.9683e-12},
                      {D::kHdev, 4096, 7695, 0, 6.5430e-12, 8.4681e-12, 1.4748e-11},
                      {D::kTotdev, 1024, 19981, -1, 5.6419e-12, 6.4162e-12, 7.6321e-12},
                      {D::kTotdev, 8192, 19981, 0, 6.7277e-12, 8.7041e-12, 1.5133e-11}};
  for (const Row& row : rows) {
    double low = 0, high = 0;
    ConfidenceInterval(row.sigma, EquivalentDof(row.kind, row.alpha, row.m, row.terms), &low,
                       &high);
    EXPECT_NEAR(low / row.low, 1, 2.5e-4) << DeviationName(row.kind) << " m=" << row.m;
    EXPECT_NEAR(high / row.high, 1, 2.5e-4) << DeviationName(row.kind) << " m=" << row.m;
  }
}

}  // namespace
}  // namespace kolvane::record
