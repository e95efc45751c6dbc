// Recordings read back for analysis: Kolvane's CSV and plain files of
// numbers onto the tau0 grid, and every malformed line named.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "record/recording_file.h"
#include "record/summary.h"

namespace kolvane::record {
namespace {

std::string Row(double t, const std::string& rest) {
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", t);
  return "2026-12-07T17:15:25.758Z," + std::string(time) + "," + rest + "\n";
}

std::string Csv(const std::vector<double>& times, const std::string& rest = "f,10000.00,kHz,ok") {
  std::string text = "time,elapsed_s,mode,value,unit,status\n";
  for (const double t : times) text += Row(t, rest);
  return text;
}

Recording Read(const std::string& text, PlainNumbers plain = {}) {
  Recording r;
  std::string error;
  EXPECT_TRUE(ParseRecording(text, "f", plain, &r, &error)) << error;
  return r;
}

// Which points of the grid are missing, as a string of '.' and 'x'.
std::string Pattern(const StabilityInput& in) {
  std::string out;
  for (const double v : in.values) out += std::isnan(v) ? 'x' : '.';
  return out;
}

TEST(RecordingFile, CsvRowsFeedTheSummaryAndTheGrid) {
  const std::string text = "time,elapsed_s,mode,value,unit,status\n" + Row(0, "f,10.0,kHz,ok") +
                           Row(0.1, "f,12.0,kHz,ok") + Row(0.2, "f,,,OL") + Row(0.3, "f,,,stop") +
                           Row(0.4, "T,5.000,us,ok") + Row(0.5, "f,8.0,kHz,ok");
  const Recording r = Read(text + "\n\n");  // blank lines at the end are no rows
  const Summary s = r.Summarize();
  EXPECT_EQ(s.readings, 3u);
  EXPECT_EQ(s.overflows, 1u);
  EXPECT_EQ(s.stops, 1u);
  EXPECT_EQ(s.max, 12.0);
  ASSERT_TRUE(r.csv && r.applies);
  EXPECT_DOUBLE_EQ(r.input.tau0, 0.1);
  // OL, stop and the row of another mode are missing; y = f/mean - 1.
  EXPECT_EQ(Pattern(r.input), "..xxx.");
  EXPECT_DOUBLE_EQ(r.input.values[0], 0.0);
  EXPECT_DOUBLE_EQ(r.input.values[1], 0.2);
  EXPECT_DOUBLE_EQ(r.input.values[5], -0.2);

  // A period: y = mean/T - 1, a unit change taken into account.
  const Recording t = Read("time,elapsed_s,mode,value,unit,status\n" + Row(0, "T,500.000,us,ok") +
                           Row(1, "T,1.000,ms,ok") + Row(2, "T,1.500,ms,ok"));
  EXPECT_DOUBLE_EQ(t.input.values[0], 1.0);
  EXPECT_DOUBLE_EQ(t.input.values[2], -1.0 / 3);
}

TEST(RecordingFile, OverflowAndStopRowsMayKeepAUnit) {
  struct Case {
    std::string row;
    std::size_t overflows, stops;
  };
  const Case cases[] = {
      {"f,,kHz,OL", 1, 0},
      {"f,,us,stop", 0, 1},
      {"f,,,OL", 1, 0},
  };
  for (const Case& c : cases) {
    const Recording r = Read(Csv({0, 1}) + Row(2, c.row) + Row(3, "f,10000.00,kHz,ok"));
    const Summary s = r.Summarize();
    EXPECT_EQ(s.readings, 3u) << c.row;
    EXPECT_EQ(s.overflows, c.overflows) << c.row;
    EXPECT_EQ(s.stops, c.stops) << c.row;
    EXPECT_EQ(Pattern(r.input), "..x.") << c.row;
  }
}

TEST(RecordingFile, AResultThatNeverCameIsAMissingPointFromATenthOfASecond) {
  struct Case {
    std::vector<double> times;
    std::string pattern;
  };
  const Case cases[] = {
      {{0, 0.1, 0.2, 0.5, 0.6, 0.7}, "...xx..."},          // 0.3 s: two never came
      {{0, 0.1, 0.2, 0.36, 0.46, 0.56, 0.7}, "...x...."},  // 0.16 s: one
      {{0, 0.1, 0.2, 0.34, 0.44, 0.54}, "......"},         // 0.14 s: jitter
      {{0, 10, 20, 50, 60, 65, 70}, "...xx...."},          // 5 s: a late reading
      {{0, 0.01, 0.02, 0.05, 0.06, 0.07}, "......"},       // below 0.1 s: none
  };
  for (const Case& c : cases) EXPECT_EQ(Pattern(Read(Csv(c.times)).input), c.pattern);
}

TEST(RecordingFile, PlainNumbers) {
  const std::string text = " 1\n2\r\nnan\n3\t\n";
  PlainNumbers plain;
  plain.tau0S = 2;
  const Recording f = Read(text, plain);
  EXPECT_FALSE(f.csv);
  EXPECT_EQ(f.input.tau0, 2);
  EXPECT_EQ(Pattern(f.input), "..x.");
  EXPECT_EQ(f.input.values[0], -0.5);  // against the mean, 2
  const Summary s = f.Summarize();
  EXPECT_EQ(s.readings, 3u);
  EXPECT_NE(SummaryJson(s).find("\"min\": 1,"), std::string::npos);
  plain.phase = true;
  const Recording x = Read(text, plain);
  EXPECT_TRUE(x.input.phase);
  EXPECT_EQ(x.input.values[3], 3);
}

TEST(RecordingFile, MalformedLinesStopTheReadingWithTheirNumber) {
  const std::string header = "time,elapsed_s,mode,value,unit,status\n";
  const std::string ok = Row(0, "f,1.0,kHz,ok");
  PlainNumbers tau0;
  tau0.tau0S = 1;
  PlainNumbers given = tau0;
  given.given = true;
  struct Case {
    std::string text;
    PlainNumbers plain;
    std::string error;
  };
  const Case cases[] = {
      {header + ok + "2026-12-07T17:15:25.758Z,1.000,f,1.0,kHz\n",
       {},
       "f:3: expected 6 fields (time,elapsed_s,mode,value,unit,status), found 5"},
      {header + ok + "yesterday,1.000,f,1.0,kHz,ok\n", {}, "f:3: bad time 'yesterday'"},
      {header + Row(2, "f,1.0,kHz,ok") + ok, {}, "f:3: elapsed_s goes back from 2.000 to 0.000"},
      {header + Row(0, "f,1.0,kHz,ok").replace(25, 5, "1e3"), {}, "f:2: bad elapsed_s '1e3'"},
      {header + Row(0, "F,1.0,kHz,ok"), {}, "f:2: bad mode 'F'"},
      {header + Row(0, "f,1.0,us,ok"), {}, "f:2: unit 'us' does not go with mode f"},
      {header + Row(0, "f,1.0,Hz,ok"), {}, "f:2: bad unit 'Hz'"},
      {header + Row(0, "f,1.0x,kHz,ok"), {}, "f:2: bad value '1.0x'"},
      {header + Row(0, "f,,kHz,ok"), {}, "f:2: bad value ''"},
      {header + Row(0, "f,1.0,,OL"), {}, "f:2: a row with status OL has no value"},
      {header + Row(0, "f,1.0,kHz,stop"), {}, "f:2: a row with status stop has no value"},
      {header + Row(0, "f,1.0,kHz,OK"), {}, "f:2: bad status 'OK'"},
      {header + ok + "\n" + Row(1, "f,1.0,kHz,ok"), {}, "f:3: empty line"},
      {Csv({0, 1, 2, 3, 2e7}),
       {},
       "f:6: the time since the row before leaves 19999996 missing points, more than a "
       "recording of 5 rows can hold"},
      {"1\n2\n\n3\n", tau0, "f:3: empty line (a missing point is written nan)"},
      {"1\n2 3\n", tau0, "f:2: not a number: '2 3'"},
      {"1\n-inf\n", tau0, "f:2: not a finite number: '-inf'"},
      {"1\n2\n",
       {},
       "f: a plain file of numbers needs --tau0, the interval between them in "
       "seconds (or is it a CSV without its header line?)"},
      {header + ok, given,
       "f: --tau0, --phase and --fractional are for a plain file of numbers; "
       "this is Kolvane's CSV, whose interval comes from elapsed_s"},
      {" \n\n", tau0, "f: the file is empty"},
  };
  for (const Case& c : cases) {
    Recording r;
    std::string error;
    EXPECT_FALSE(ParseRecording(c.text, "f", c.plain, &r, &error)) << c.text;
    EXPECT_EQ(error, c.error);
  }
}

TEST(RecordingFile, TheAnalysisGoesIntoTheSummary) {
  std::vector<double> times;
  for (int i = 0; i < 64; ++i) times.push_back(i < 32 ? i : i + 2);
  const Recording f = Read(Csv(times));
  Summary s = f.Summarize();
  AddAnalysis(f.input, f.applies, AnalysisOptions{}, &s);
  const std::string json = SummaryJson(s);
  for (const char* part :
       {"\"adev\": [\n", "\"deviations\": {\n    \"oadev\": [", "\"mdev\": [", "\"hdev\": [",
        "\"tdev\": [", "\"gaps\": {\"missing\": 2, \"intervals\": 1}\n}\n"}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << " in " << json;
  }
  // A count has no fractional frequency: no deviations, no drift; the gaps
  // are still counted.
  const Recording c = Read(Csv(times, "count,12,,ok"));
  Summary n = c.Summarize();
  AddAnalysis(c.input, c.applies, AnalysisOptions{}, &n);
  const std::string none = SummaryJson(n);
  EXPECT_NE(none.find("\"deviations\": null,\n  \"drift\": null,\n  \"gaps\": {\"missing\": 2"),
            std::string::npos)
      << none;
  EXPECT_NE(SummaryText(n).find("Deviations: none for mode count"), std::string::npos);
}

}  // namespace
}  // namespace kolvane::record
