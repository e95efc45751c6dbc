#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "measure/compute.h"
#include "record/statistics.h"
#include "record/summary.h"
#include "sim/instrument.h"

namespace kolvane::record {
namespace {

ShownReading Ok(double value, std::uint32_t mode = 1, ReadingUnit unit = ReadingUnit::Kilohertz) {
  return {ShownKind::Value, mode, {value, {unit, 3}}};
}

Summary Summarize(const std::vector<double>& xs, double tau0S, std::uint32_t mode = 1) {
  Statistics stats;
  for (std::size_t i = 0; i < xs.size(); ++i) stats.Add(Ok(xs[i], mode), tau0S * i);
  return stats.Summarize();
}

// x = mean (1 + a (-1)^i): y alternates +-a, so every difference of m = 1 is
// 2a: adev^2 = (2a)^2 / 2 = 2 a^2. Any even m sums pairs that cancel.
TEST(AllanDeviation, AlternatingSeriesHasClosedForm) {
  const double mean = 12345.678, a = 1e-6;
  std::vector<double> xs;
  for (int i = 0; i < 1000; ++i) xs.push_back(mean * (1 + (i % 2 == 0 ? a : -a)));
  const Summary s = Summarize(xs, 0.1);
  ASSERT_EQ(s.adev.size(), 9u);  // m = 1 .. 256, while 1000 - 2m + 1 >= 1
  EXPECT_NEAR(s.adev[0].adev, std::sqrt(2.0) * a, 1e-12);
  EXPECT_DOUBLE_EQ(s.adev[0].tauS, 0.1);
  EXPECT_EQ(s.adev[0].terms, 999u);
  for (std::size_t k = 1; k < s.adev.size(); ++k) {
    EXPECT_NEAR(s.adev[k].adev, 0.0, 1e-12) << "m = " << (1u << k);
    EXPECT_EQ(s.adev[k].terms, 1000u - 2 * (1u << k) + 1);
  }
}

// A linear drift of fractional rate r per second: adev(tau) = r tau / sqrt 2.
TEST(AllanDeviation, LinearDriftGrowsWithTau) {
  const double tau0 = 0.5, mean = 1000.0, perStep = 0.002;
  std::vector<double> xs;
  for (int i = 0; i < 301; ++i) xs.push_back(mean + perStep * (i - 150));  // mean stays 1000
  const Summary s = Summarize(xs, tau0);
  const double rate = perStep / tau0 / mean;
  ASSERT_EQ(s.adev.size(), 8u);
  for (const AdevPoint& p : s.adev) {
    EXPECT_NEAR(p.adev, rate * p.tauS / std::sqrt(2.0), 1e-9 * rate * p.tauS) << p.tauS;
  }
}

// The simulator's white frequency noise, through the panel's conversion: the
// Allan deviation is the fractional spread, falling as 1/sqrt(m).
TEST(AllanDeviation, WhiteNoiseOfTheSimulatorGivesItsSpread) {
  sim::PanelBytes state = sim::DefaultState();
  state[sim::kGate] = 3;  // 1 s: one count is 1 Hz, shown in kHz with 3 decimals
  const sim::SignalModel signal{1e7, 100.0, 0.0};
  std::mt19937 rng(7);
  Statistics stats;
  const int n = 40000;
  for (int i = 0; i < n; ++i) {
    const sim::Counts c = sim::MeasureCounts(state, 0, 1.0, rng, signal, i);
    const auto r = ComputeReading({1, 2, 4, LaunchBranch::Automatic, 0, c.n1, 0});
    ASSERT_TRUE(r);
    stats.Add({ShownKind::Value, 1, *r}, i * 1.0);
  }
  const Summary s = stats.Summarize();
  const double sigma = 100.0 / 1e7;
  EXPECT_NEAR(s.mean, 10000.0, 4 * 0.1 / std::sqrt(n));
  EXPECT_NEAR(s.stdev, 0.1, 0.1 * 0.02);
  EXPECT_DOUBLE_EQ(s.tau0S, 1.0);
  ASSERT_GE(s.adev.size(), 5u);
  for (std::size_t k = 0; k < 5; ++k) {
    EXPECT_NEAR(s.adev[k].adev, sigma / std::sqrt(1 << k), sigma * 0.05) << "m = " << (1 << k);
  }
}

TEST(SimSignal, DriftMovesTheCountFromTheFirstResult) {
  sim::PanelBytes state = sim::DefaultState();  // 0.1 s gate: one count is 10 Hz
  std::mt19937 rng(1);
  const sim::SignalModel signal{5e6, 0.0, 20.0};
  EXPECT_NEAR(sim::MeasureCounts(state, 0, 1, rng, signal, 0).n1, 5e5, 1);
  EXPECT_NEAR(sim::MeasureCounts(state, 0, 1, rng, signal, 500).n1, 5e5 + 1000, 1);
  state[sim::kTest] = 1;  // the test function measures its reference all the same
  EXPECT_NEAR(sim::MeasureCounts(state, 0, 1, rng, signal, 500).n1, 1e5, 1);
}

TEST(Statistics, JsonSummaryByteForByte) {
  Statistics stats;
  // Intervals of 100 and 150 ms between the ok rows: the median is 125 ms.
  stats.Add({ShownKind::Stop, 1, {}}, 0.0);
  stats.Add(Ok(1), 0.05);
  stats.Add(Ok(0, 1, ReadingUnit::Overflow), 0.1);
  stats.Add(Ok(2), 0.15);
  stats.Add(Ok(7, 2, ReadingUnit::Microseconds), 0.2);  // another mode: left out
  stats.Add(Ok(3), 0.3);
  EXPECT_EQ(SummaryJson(stats.Summarize()),
            "{\n"
            "  \"readings\": 3,\n"
            "  \"overflows\": 1,\n"
            "  \"stops\": 1,\n"
            "  \"mode\": \"f\",\n"
            "  \"unit\": \"kHz\",\n"
            "  \"mean\": 2,\n"
            "  \"stdev\": 1,\n"
            "  \"min\": 1.000,\n"
            "  \"max\": 3.000,\n"
            "  \"tau0_s\": 0.125,\n"
            "  \"adev\": [\n"
            // y = -1/2, 0, 1/2: both differences 1/2, adev^2 = (1/4 + 1/4) / 4
            "    {\"tau_s\": 0.125, \"adev\": 0.3535533905932738, \"terms\": 2}\n"
            "  ]\n"
            "}\n");
}

TEST(Statistics, UndefinedFiguresAreNull) {
  Statistics one;
  one.Add(Ok(42, 7, ReadingUnit::None), 0);  // a count: no Allan deviation
  const std::string json = SummaryJson(one.Summarize());
  for (const char* part : {"\"unit\": \"\"", "\"mean\": 42", "\"stdev\": null", "\"tau0_s\": null",
                           "\"adev\": []", "\"mode\": \"count\""}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << " in " << json;
  }
  const std::string empty = SummaryJson(Statistics().Summarize());
  for (const char* part : {"\"mode\": null", "\"unit\": null", "\"mean\": null"}) {
    EXPECT_NE(empty.find(part), std::string::npos) << part << " in " << empty;
  }
}

TEST(ReadingSeries, MillionReadingsFitSixteenBytesEachAndKeepTheirTimes) {
  ReadingSeries series;
  for (int i = 0; i < 1000000; ++i) series.Add(i * 0.001, i * 0.5);
  EXPECT_LE(series.BytesUsed(), 16u * 1000000u);
  EXPECT_EQ(series.TimeMs(999999), 999999);
  EXPECT_EQ(series.Value(4096), 2048.0);
  // Sixty days without a reading outgrow a 32-bit millisecond offset.
  series.Add(60 * 86400.0, 1.0);
  series.Add(60 * 86400.0 + 0.1, 2.0);
  EXPECT_EQ(series.TimeMs(1000000), 60 * 86400000LL);
  EXPECT_EQ(series.TimeMs(1000001), 60 * 86400000LL + 100);
  EXPECT_EQ(series.Value(1000001), 2.0);
  EXPECT_EQ(series.TimeMs(999999), 999999);
}

}  // namespace
}  // namespace kolvane::record
