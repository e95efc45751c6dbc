// The /readings page's set: limits, clearing, size, CSV, histogram, trend,
// and the page's messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "panel/web/readings_page.h"
#include "record/reading_window.h"

namespace kolvane::record {
namespace {

constexpr std::int64_t kWall0 = 1796655845123;  // 2026-12-07T15:04:05.123Z

ShownReading Value(double v, std::uint32_t mode = 1, ReadingUnit unit = ReadingUnit::Kilohertz) {
  return {ShownKind::Value, mode, Reading{v, {unit, 2}}};
}
ShownReading Overflow() {
  return {ShownKind::Value, 1, Reading{0, {ReadingUnit::Overflow, 0}}};
}
ShownReading Stop() {
  return {ShownKind::Stop, 1, {}};
}

void Feed(ReadingWindow& w, const std::vector<ShownReading>& shown) {
  for (const ShownReading& s : shown) {
    const auto i = static_cast<std::int64_t>(w.Revision());
    w.Add({s, kWall0 + i * 100, 5000 + i * 100});
  }
}

TEST(ReadingWindow, LimitTestCountsLikeABenchCounter) {
  struct Case {
    Limits limits;
    std::size_t pass, fail;
    std::optional<std::int64_t> first;
  };
  // 10 in, 12 over, OL, a stop (not tested), 8 under.
  const Case cases[] = {
      {{9.0, 11.0}, 1, 3, kWall0 + 200},
      {{std::nullopt, 11.0}, 2, 2, kWall0 + 200},
      {{9.0, std::nullopt}, 2, 2, kWall0 + 300},
      {{}, 0, 0, std::nullopt},  // no limits, no test
  };
  for (const Case& c : cases) {
    ReadingWindow w;
    w.SetLimits(c.limits);
    Feed(w, {Value(10), Value(12), Overflow(), Stop(), Value(8)});
    EXPECT_EQ(w.Passed(), c.pass);
    EXPECT_EQ(w.Failed(), c.fail);
    EXPECT_EQ(w.FirstFailureWallMs(), c.first);
    // New limits count afresh.
    w.SetLimits(c.limits);
    EXPECT_EQ(w.Passed() + w.Failed(), 0u);
  }
}

TEST(ReadingWindow, AnotherFunctionOrUnitClearsTheSet) {
  struct Case {
    ShownReading next;
    bool clears;
    std::size_t failed;  // the counts start again with the new set
  };
  const Case cases[] = {
      {Value(2, 2), true, 1},                             // another function
      {Value(2, 1, ReadingUnit::Microseconds), true, 1},  // another unit
      {Value(2), false, 2},
      {Overflow(), false, 2},
      {Stop(), false, 1},
  };
  for (const Case& c : cases) {
    ReadingWindow w;
    w.SetLimits({0.0, 1.0});
    Feed(w, {Value(1), Value(3)});
    EXPECT_EQ(w.Add({c.next, kWall0, 0}), c.clears);
    EXPECT_EQ(w.Rows(), c.clears ? 1u : 3u);
    EXPECT_EQ(w.ClearedByChange(), c.clears);
    EXPECT_EQ(w.Failed(), c.failed);
  }
}

TEST(ReadingWindow, CsvIsTheLoggersWithOverflowAndStopRows) {
  ReadingWindow w;
  Feed(w, {Value(9), Value(1000.25), Overflow(), Stop()});
  w.Pause(true);
  Feed(w, {Value(7)});
  w.Pause(false);
  w.SetSize(3);  // the oldest goes, and elapsed_s counts from the new first row
  EXPECT_EQ(w.Csv(),
            "time,elapsed_s,mode,value,unit,status\n"
            "2026-12-07T15:04:05.223Z,0.000,f,1000.25,kHz,ok\n"
            "2026-12-07T15:04:05.323Z,0.100,f,,,OL\n"
            "2026-12-07T15:04:05.423Z,0.200,f,,,stop\n");
}

TEST(ReadingWindow, HistogramHoldsEveryOkReadingInWholeSteps) {
  ReadingWindow w;
  std::vector<ShownReading> shown;
  for (int i = 0; i < 1000; ++i) shown.push_back(Value(100 + (i * 37 % 101) * 0.01));
  shown.push_back(Overflow());
  Feed(w, shown);
  for (std::size_t bins : {0u, 7u}) {
    w.SetBins(bins);
    const Histogram h = w.MakeHistogram();
    EXPECT_EQ(std::accumulate(h.counts.begin(), h.counts.end(), std::size_t{0}), 1000u);
    if (bins != 0) {
      EXPECT_EQ(h.counts.size(), bins);
    } else {
      // A whole number of the display's steps, no bin left empty.
      EXPECT_NEAR(std::fmod(h.width / 0.01 + 0.5, 1.0), 0.5, 1e-6);
      EXPECT_EQ(std::count(h.counts.begin(), h.counts.end(), 0u), 0);
    }
  }
}

TEST(ReadingWindow, ThinnedTrendKeepsASpikeAndMarksIt) {
  ReadingWindow w;
  w.SetLimits({std::nullopt, 50.0});
  std::vector<ShownReading> shown(10000, Value(10));
  shown[6789] = Value(99);
  Feed(w, shown);
  const Trend t = w.MakeTrend(200);
  EXPECT_LE(t.values.size(), 200u);
  ASSERT_EQ(t.failing.size(), 1u);
  EXPECT_EQ(t.values[t.failing[0]], 99);
  EXPECT_DOUBLE_EQ(t.elapsedS[t.failing[0]], 678.9);
}

}  // namespace
}  // namespace kolvane::record

namespace kolvane::web_panel {
namespace {

TEST(ReadingsCommand, PagesMessages) {
  using K = ReadingsCommand::Kind;
  const std::pair<const char*, std::optional<K>> cases[] = {
      {R"({"action":"clear"})", K::kClear},
      {R"({"action":"resume"})", K::kResume},
      {R"({"size":100000})", K::kSize},
      {R"({"bins":0})", K::kBins},
      {R"({"limits":{"lower":-1.5,"upper":null}})", K::kLimits},
      {R"({"action":"reboot"})", std::nullopt},
      {R"({"size":0})", std::nullopt},
      {R"({"size":100001})", std::nullopt},
      {R"({"size":1.5})", std::nullopt},
      {R"({"bins":-1})", std::nullopt},
      {R"({"limits":{"lower":2,"upper":1}})", std::nullopt},
      {R"({"limits":{"lower":"1"}})", std::nullopt},
      {R"({"limits":{"upper":1e999}})", std::nullopt},
      {"[1]", std::nullopt},
  };
  for (const auto& [text, kind] : cases) {
    const auto c = ParseReadingsCommand(text);
    EXPECT_EQ(c ? std::optional<K>(c->kind) : std::nullopt, kind) << text;
  }
}

}  // namespace
}  // namespace kolvane::web_panel
