#include <gtest/gtest.h>

#include <locale>
#include <sstream>

#include "measure/compute.h"
#include "record/csv.h"
#include "record/recorder.h"
#include "record/status_line.h"

namespace kolvane::record {
namespace {

TEST(UtcTime, CalendarWithoutTheOperatingSystem) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "1970-01-01T00:00:00.000Z"},
      {-1, "1969-12-31T23:59:59.999Z"},
      {1796655845123, "2026-12-07T15:04:05.123Z"},
      {1709251199999, "2024-02-29T23:59:59.999Z"},  // a leap day
      {951782400000, "2000-02-29T00:00:00.000Z"},   // leap: divisible by 400
      {4107542400000, "2100-03-01T00:00:00.000Z"},  // 2100 has no 29 February
      {2147483648000, "2038-01-19T03:14:08.000Z"},  // past 32-bit seconds
  };
  for (const auto& [ms, text] : cases) EXPECT_EQ(FormatUtcMs(ms), text) << ms;
}

// A program-wide C++ locale with a decimal comma and digit grouping.
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

ShownReading Shown(std::uint32_t mode, std::uint32_t t, std::uint32_t g, std::uint32_t n1,
                   std::uint32_t n2 = 0) {
  const auto r = ComputeReading({mode, t, g, LaunchBranch::Automatic, 0, n1, n2});
  return {ShownKind::Value, mode, r.value_or(Reading{})};
}

TEST(Csv, RowsAreTheSameBytesUnderADecimalCommaLocale) {
  const std::locale before =
      std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  std::ostringstream out;  // takes the global locale, as std::cout would
  CsvWriter csv(out);
  const std::int64_t t0 = 1796655845123;
  csv.WriteHeader();
  csv.WriteRow(Shown(1, 2, 5, 4294967295u), t0, 0);
  csv.WriteRow(Shown(2, 1, 2, 1234), t0 + 100, 0.1004);
  csv.WriteRow(Shown(5, 5, 1, 7), t0 + 1001, 1234.5675);
  csv.WriteRow(Shown(12, 1, 2, 1000, 3), t0 + 2000, 2.0015);
  csv.WriteRow(Shown(6, 1, 1, 5, 0), t0 + 3000, 3.0);  // N2 = 0: the overflow text
  csv.WriteRow({ShownKind::Stop, 11, {}}, t0 + 4000, -0.0001);
  csv.WriteRow(Shown(9, 1, 1, 1234567), t0 + 5000, 5.0);
  std::locale::global(before);
  EXPECT_TRUE(csv.Good());
  EXPECT_EQ(out.str(),
            "time,elapsed_s,mode,value,unit,status\n"
            "2026-12-07T15:04:05.123Z,0.000,f,429496.7295,kHz,ok\n"
            "2026-12-07T15:04:05.223Z,0.100,T,12.34,us,ok\n"
            "2026-12-07T15:04:06.124Z,1234.568,DL3,7,ms,ok\n"  // the binary value is above .5675
            "2026-12-07T15:04:07.123Z,2.002,duty,33.333333,,ok\n"
            "2026-12-07T15:04:08.123Z,3.000,DL4,,,OL\n"
            "2026-12-07T15:04:09.123Z,0.000,tacho,,,stop\n"
            "2026-12-07T15:04:10.123Z,5.000,count,1234567,,ok\n");
}

TEST(Csv, AFailedWriteIsReported) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  CsvWriter csv(out);
  EXPECT_FALSE(csv.WriteHeader());
}

TEST(Recorder, TimesRowsFromTheFirstAndGoesOnCountingAfterAWriteFails) {
  std::ostringstream out;
  Statistics stats;
  Instant now{1796655845123, 5000.25};
  Recorder rec(&out, &stats, [&] { return now; });
  rec.OnShown(Shown(1, 2, 3, 1234));
  now = {now.wallMs + 250, now.monotonicS + 0.2504};
  rec.OnShown({ShownKind::Stop, 1, {}});
  EXPECT_EQ(out.str(),
            "time,elapsed_s,mode,value,unit,status\n"
            "2026-12-07T15:04:05.123Z,0.000,f,12.34,kHz,ok\n"
            "2026-12-07T15:04:05.373Z,0.250,f,,,stop\n");
  out.setstate(std::ios::badbit);  // the disk is full, the cable pulled
  rec.OnShown(Shown(1, 2, 3, 1235));
  EXPECT_TRUE(rec.WriteFailed());
  EXPECT_EQ(stats.Count(), 2u);
  EXPECT_EQ(stats.Summarize().stops, 1u);
}

TEST(StatusLine, FitsTheWidthLeavingOutTheLeastUsefulFirst) {
  StatusInfo info{3725.4, 0.5, "12345.678 kHz", 830, 12345.6781234, 0.00123};
  struct Case {
    std::size_t width;
    std::vector<const char*> has, hasNot;
  };
  const Case cases[] = {
      {200,
       {"1:02:05 [", "#---", "]   50%", "last 12345.678 kHz", "n 830", "mean 12345.67812",
        "sd 0.00123"},
       {}},
      {80, {"1:02:05", "50%", "sd 0.00123"}, {"["}},
      {40, {"1:02:05", "50%", "last 12345.678 kHz"}, {"[", "mean", "sd"}},
      {5, {"1:02:"}, {}},
  };
  for (const Case& c : cases) {
    const std::string line = StatusLine(info, c.width);
    EXPECT_LE(line.size(), c.width) << line;
    for (const char* part : c.has) EXPECT_NE(line.find(part), std::string::npos) << line;
    for (const char* part : c.hasNot) EXPECT_EQ(line.find(part), std::string::npos) << line;
  }
  info.fraction.reset();
  EXPECT_EQ(StatusLine(info, 200).find('%'), std::string::npos);
}

}  // namespace
}  // namespace kolvane::record
