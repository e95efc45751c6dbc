#include <gtest/gtest.h>

#include "logger/options.h"

namespace kolvane::logger {
namespace {

TEST(LogOptions, GoodCommandLines) {
  LogOptions o;
  std::string error;
  ASSERT_TRUE(ParseLogOptions({"--port", "3", "--timestamp=100ns", "--gate", "10s", "--channel=C",
                               "--mode", "duty", "--count", "5000", "--duration=0.5", "--csv",
                               "out.csv", "--summary=s.json", "--plot", "p.SVG", "--quiet"},
                              &o, &error))
      << error;
  EXPECT_EQ(o.port, 3);
  EXPECT_EQ(o.timestampIndex, 1);
  EXPECT_EQ(o.gateIndex, 5);
  EXPECT_EQ(o.channel, Channel::C);
  EXPECT_EQ(o.mode, LogMode::DutyCycle);
  EXPECT_EQ(o.count, 5000u);
  EXPECT_EQ(o.durationS, 0.5);
  EXPECT_EQ(o.csv, "out.csv");
  EXPECT_EQ(o.summary, "s.json");
  EXPECT_EQ(o.plot, "p.SVG");
  EXPECT_TRUE(o.quiet);

  LogOptions d;
  ASSERT_TRUE(ParseLogOptions({"--timestamp", "1ms", "--gate", "1ms", "--mode", "T"}, &d, &error));
  EXPECT_EQ(d.timestampIndex, 5);  // "M5"
  EXPECT_EQ(d.gateIndex, 1);       // "T1"
  EXPECT_EQ(d.mode, LogMode::Period);
  EXPECT_EQ(d.csv, "-");
  EXPECT_FALSE(d.port || d.count || d.durationS || d.summary || d.plot || d.quiet);
}

TEST(LogOptions, AnalysisOptions) {
  using record::Deviation;
  struct Case {
    std::vector<std::string> args;
    std::vector<Deviation> deviations;
    record::TauSpacing taus;
  };
  const Case cases[] = {
      {{},
       {Deviation::kOadev, Deviation::kMdev, Deviation::kHdev, Deviation::kTdev},
       record::TauSpacing::kOctave},
      {{"--deviations", "totdev,adev,totdev", "--taus", "decade"},
       {Deviation::kTotdev, Deviation::kAdev},
       record::TauSpacing::kDecade},
      {{"--deviations=all", "--taus=octave"},
       {std::begin(record::kAllDeviations), std::end(record::kAllDeviations)},
       record::TauSpacing::kOctave},
  };
  for (const Case& c : cases) {
    LogOptions o;
    std::string error;
    ASSERT_TRUE(ParseLogOptions(c.args, &o, &error)) << error;
    EXPECT_EQ(o.analysis.deviations, c.deviations);
    EXPECT_EQ(o.analysis.taus, c.taus);
    EXPECT_FALSE(o.analysis.removeDrift || o.analyze);
  }
  LogOptions a;
  std::string error;
  ASSERT_TRUE(ParseLogOptions({"--analyze", "x.txt", "--tau0", "1e-3", "--fractional",
                               "--frequency", "--remove-drift", "--summary", "s.json"},
                              &a, &error))
      << error;
  EXPECT_EQ(a.analyze, "x.txt");
  EXPECT_EQ(a.tau0S, 1e-3);
  EXPECT_TRUE(a.fractional && a.analysis.removeDrift && !a.phase);
}

TEST(LogOptions, BadValuesAreNamedWithWhatIsAccepted) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--gate", "2s"}, "kolvane-log: bad --gate '2s' (accepted: 1ms, 10ms, 100ms, 1s, 10s)"},
      {{"--timestamp=1ns"},
       "kolvane-log: bad --timestamp '1ns' (accepted: 100ns, 1us, 10us, 100us, 1ms)"},
      {{"--channel", "a"}, "kolvane-log: bad --channel 'a' (accepted: A, B, C)"},
      {{"--mode", "ratio"}, "kolvane-log: bad --mode 'ratio' (accepted: f, T, tacho, duty)"},
      {{"--port", "0"}, "kolvane-log: bad --port '0' (accepted: 1 to 9, for COM1 to COM9)"},
      {{"--port", "10"}, "kolvane-log: bad --port '10' (accepted: 1 to 9, for COM1 to COM9)"},
      {{"--count", "0"},
       "kolvane-log: bad --count '0' (accepted: a whole number of readings, 1 or more)"},
      {{"--count", "-3"},
       "kolvane-log: bad --count '-3' (accepted: a whole number of readings, 1 or more)"},
      {{"--duration", "0"},
       "kolvane-log: bad --duration '0' (accepted: seconds above 0, decimals allowed, e.g. 90 or "
       "0.5)"},
      {{"--duration", "1,5"},
       "kolvane-log: bad --duration '1,5' (accepted: seconds above 0, decimals allowed, e.g. 90 or "
       "0.5)"},
      {{"--plot", "p.jpg"},
       "kolvane-log: bad --plot 'p.jpg' (accepted: a file name ending in .png or .svg)"},
      {{"--csv="}, "kolvane-log: bad --csv '' (accepted: a file name)"},
      {{"--gate"}, "kolvane-log: --gate needs a value (see --help)"},
      {{"--quiet=yes"}, "kolvane-log: --quiet takes no value (see --help)"},
      {{"--rate", "5"}, "kolvane-log: unknown option '--rate' (see --help)"},
      {{"file.csv"}, "kolvane-log: unexpected argument 'file.csv' (see --help)"},
      {{"--deviations", "oadev,xdev"},
       "kolvane-log: bad --deviations 'oadev,xdev' (accepted: adev, oadev, mdev, tdev, hdev, "
       "totdev separated by commas, or all)"},
      {{"--deviations=oadev,"},
       "kolvane-log: bad --deviations 'oadev,' (accepted: adev, oadev, mdev, tdev, hdev, totdev "
       "separated by commas, or all)"},
      {{"--taus", "log"}, "kolvane-log: bad --taus 'log' (accepted: octave, decade)"},
      {{"--analyze", "a.csv", "--tau0", "0"},
       "kolvane-log: bad --tau0 '0' (accepted: the interval in seconds above 0, e.g. 1, 0.1 or "
       "1e-3)"},
      {{"--analyze", "a.csv", "--tau0", "inf"},
       "kolvane-log: bad --tau0 'inf' (accepted: the interval in seconds above 0, e.g. 1, 0.1 or "
       "1e-3)"},
      {{"--remove-drift=yes"}, "kolvane-log: --remove-drift takes no value (see --help)"},
      {{"--analyze", "a.txt", "--phase", "--frequency"},
       "kolvane-log: --phase and --frequency exclude each other (see --help)"},
      {{"--analyze", "a.txt", "--phase", "--fractional"},
       "kolvane-log: --fractional is for frequency values, not --phase (see --help)"},
      {{"--tau0", "1"}, "kolvane-log: --tau0 describes the file of --analyze (see --help)"},
      {{"--fractional"}, "kolvane-log: --fractional describes the file of --analyze (see --help)"},
      {{"--analyze", "a.csv", "--gate", "1s"},
       "kolvane-log: --gate is for a run with the instrument, not --analyze (see --help)"},
      {{"--analyze", "a.csv", "--csv", "b.csv"},
       "kolvane-log: --csv is for a run with the instrument, not --analyze (see --help)"},
  };
  for (const Case& c : cases) {
    LogOptions o;
    std::string error;
    EXPECT_FALSE(ParseLogOptions(c.args, &o, &error)) << c.args[0];
    EXPECT_EQ(error, c.message);
  }
}

TEST(LogOptions, HelpNamesEveryOptionAndExitStatus) {
  const std::string help = LogHelp();
  for (const char* part : {"--port",       "--timestamp",
                           "--gate",       "--channel",
                           "--mode",       "--count",
                           "--duration",   "--csv",
                           "--summary",    "--plot",
                           "--quiet",      "--help",
                           "--version",    "--deviations",
                           "--taus",       "--remove-drift",
                           "--analyze",    "--tau0",
                           "--phase",      "--frequency",
                           "--fractional", "HDEV is insensitive to linear drift",
                           "  0  ",        "  2  ",
                           "  3  ",        "  4  ",
                           "  5  "}) {
    EXPECT_NE(help.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace kolvane::logger
