#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sim/instrument.h"

namespace kolvane::sim {
namespace {

Bytes B(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

struct Sent {
  double at;
  Bytes bytes;
};

// Runs the model's clock from `from` to `until`, collecting what it sends.
std::vector<Sent> RunUntil(Instrument& m, double from, double until) {
  std::vector<Sent> out;
  for (double now = from;;) {
    for (Bytes& b : m.TakeDue(now)) out.push_back({now, std::move(b)});
    const auto due = m.NextDue();
    if (!due || *due > until) return out;
    now = std::max(now, *due);
  }
}

// Sends frames at time `now` and returns everything answered by `now + 5`.
Bytes Exchange(Instrument& m, const std::string& frames, double now = 0) {
  m.Receive(B(frames), now);
  Bytes all;
  for (const Sent& s : RunUntil(m, now, now + 5))
    all.insert(all.end(), s.bytes.begin(), s.bytes.end());
  return all;
}

InstrumentOptions Quiet() {
  InstrumentOptions o;
  o.rate = 0;  // no result stream unless a test wants one
  return o;
}

TEST(SimFrames, SplitByKnownLengthNotByCr) {
  struct Case {
    std::vector<std::string> chunks;
    std::vector<std::string> frames;
  };
  const Case cases[] = {
      {{"B\r"}, {"B\\x0D"}},
      {{"L\r\r"}, {"L\\x0D\\x0D"}},  // a level position of 13
      {{"Y\r\rZ\r"}, {"Y\\x0D\\x0D", "Z\\x0D"}},
      {{"M1\rK1\r"}, {"M1\\x0D", "K1\\x0D"}},
      {{"M", "1", "\r"}, {"M1\\x0D"}},
      {{"x\rB\r"}, {"x", "\\x0D", "B\\x0D"}},  // bytes that start no frame
      {{"L\\\r"}, {"L\\x5C\\x0D"}},
  };
  for (const Case& c : cases) {
    Instrument m(Quiet());
    std::vector<std::string> got;
    for (const std::string& chunk : c.chunks) {
      for (const Bytes& f : m.Receive(B(chunk), 0)) got.push_back(Printable(f));
    }
    EXPECT_EQ(got, c.frames) << c.chunks[0];
  }
}

TEST(SimFrames, StaleHalfFrameIsGivenUp) {
  Instrument m(Quiet());
  EXPECT_TRUE(m.Receive(B("M"), 0).empty());
  const auto seen = m.Receive(B("B\r"), 600);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(Printable(seen[0]), "M");
  EXPECT_EQ(RunUntil(m, 600, 605).at(0).bytes, (Bytes{'N', 5}));
}

TEST(SimState, EachSetupFrameIsAcknowledgedAndSetsItsByte) {
  struct Case {
    std::string frame;
    std::size_t byte;
    int before, after;
  };
  const Case cases[] = {
      {"M1\r", kTimestamp, 2, 0},   {"M5\r", kTimestamp, 2, 4},
      {"T1\r", kGate, 2, 0},        {"T5\r", kGate, 2, 4},
      {"K2\r", kChannel, 1, 2},     {"K3\r", kChannel, 1, 4},
      {"K1\r", kChannel, 4, 1},     {"R1\r", kMode, 3, 0},
      {"R8\r", kMode, 3, 7},        {"A2\r", kMode, 3, 9},
      {"H\r", kMode, 3, 10},        {"S\r", kMode, 3, 11},
      {"P1\r", kMemory, 1, 0},      {"P2\r", kMemory, 0, 1},
      {"Q1\r", kTest, 1, 0},        {"Q2\r", kTest, 0, 1},
      {"I0\r", kLaunch, 1, 0},      {"I1\r", kLaunch, 0, 1},
      {"I2\r", kGenerator, 1, 0},   {"I3\r", kGenerator, 0, 1},
      {"F1\r", kSlope, 0, 1},       {"F2\r", kSlope, 1, 0},
      {"V1\r", kImpedance, 1, 0},   {"V2\r", kImpedance, 0, 1},
      {"V3\r", kAttenuator, 1, 0},  {"V4\r", kAttenuator, 0, 1},
      {"V5\r", kCoupling, 1, 0},    {"V6\r", kCoupling, 0, 1},
      {"V7\r", kFilter, 1, 0},      {"V8\r", kFilter, 0, 1},
      {"L\r\r", kLevel, 64, 13},  // a position of 13 is a CR byte
      {"L\x7f\r", kLevel, 64, 127}, {"Y\r\r", kCalibration, 128, 13},
      {"R3\r", kMode, 0, 2},        {"R6\r", kMode, 0, 5},
      {"R7\r", kMode, 0, 6},        {"A1\r", kMode, 0, 9},
      {"A3\r", kMode, 0, 9},        {"Z\r", kCalibration, 128, 128},
      {"R6\r", kChannel, 1, 4},  // DL4 is measured on C
      {"R5\r", kChannel, 1, 1},     {"I1\r", kGenerator, 1, 1},
      {"I0\r", kGenerator, 1, 0},  // automatic launch takes the internal one
  };
  for (const Case& c : cases) {
    InstrumentOptions o = Quiet();
    o.state[c.byte] = static_cast<std::uint8_t>(c.before);
    Instrument m(o);
    EXPECT_EQ(Exchange(m, c.frame), Bytes{'\r'}) << Printable(B(c.frame));
    EXPECT_EQ(m.State()[c.byte], c.after) << Printable(B(c.frame));
  }
}

TEST(SimState, ReadbackReportsWhatWasSet) {
  Instrument m(Quiet());
  Exchange(m, "M3\rT4\rK3\rV3\rV8\rF1\rL\x10\rI3\rY\xc8\rZ\r");
  EXPECT_EQ(m.SavedCalibration(), 200);
  const Bytes reply = Exchange(m, "D1\r");
  const Bytes expected = {'C', 0, 2, 3, 1, 4, 0, 0, 1, 1, 0, 0, 1, 16, 200, 0};
  EXPECT_EQ(reply, expected);
}

TEST(SimState, InputSettingsAreKeptPerChannel) {
  Instrument m(Quiet());
  Exchange(m, "K3\rV3\rV7\rL\x64\r");
  Exchange(m, "K1\r");
  EXPECT_EQ(m.State()[kAttenuator], 1);
  EXPECT_EQ(m.State()[kFilter], 1);
  EXPECT_EQ(m.State()[kLevel], 64);
  Exchange(m, "K3\r");
  EXPECT_EQ(m.State()[kAttenuator], 0);
  EXPECT_EQ(m.State()[kFilter], 0);
  EXPECT_EQ(m.State()[kLevel], 100);
}

TEST(SimState, Dl4ShowsChannelCsOwnInputs) {
  Instrument m(Quiet());
  Exchange(m, "K3\rV3\rL\x64\rK1\r");
  Exchange(m, "R6\r");
  const Bytes reply = Exchange(m, "D1\r");
  ASSERT_EQ(reply.size(), 16u);
  EXPECT_EQ(reply[1 + kMode], kDuration4);
  EXPECT_EQ(reply[1 + kChannel], 4);
  EXPECT_EQ(reply[1 + kAttenuator], 0);
  EXPECT_EQ(reply[1 + kLevel], 100);
}

TEST(SimState, FramesOutsideTheCommandSetGetNoReply) {
  for (const std::string frame : {"M6\r", "T0\r", "K4\r", "D2\r", "M1X", "I4\r", "V9\r", "Q"}) {
    Instrument m(Quiet());
    const PanelBytes before = m.State();
    EXPECT_TRUE(Exchange(m, frame).empty()) << Printable(B(frame));
    EXPECT_EQ(m.State(), before) << Printable(B(frame));
  }
}

TEST(SimSession, HandshakeStartsResultsAndJEndsThem) {
  Instrument m;  // 10 results per second
  EXPECT_TRUE(RunUntil(m, 0, 1000).empty()) << "no results before the handshake";
  EXPECT_EQ(Exchange(m, "B\r", 1000), (Bytes{'N', 5}));
  const auto results = RunUntil(m, 1000, 1550);
  ASSERT_EQ(results.size(), 5u);
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_DOUBLE_EQ(results[i].at, 1100 + 100.0 * static_cast<double>(i));
    EXPECT_EQ(results[i].bytes.size(), 5u);
    EXPECT_EQ(results[i].bytes[0], 'G');
  }
  m.Receive(B("J\r"), 1560);
  EXPECT_TRUE(RunUntil(m, 1560, 3000).empty());
  EXPECT_FALSE(m.SessionOpen());
}

TEST(SimSession, SettingRestartsTheMeasurement) {
  Instrument m;
  Exchange(m, "B\r", 0);
  EXPECT_EQ(Exchange(m, "T3\r", 90), Bytes{'\r'});
  const auto results = RunUntil(m, 95, 195);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_DOUBLE_EQ(results[0].at, 190);
}

TEST(SimSession, SingleShotSendsOneResultPerStart) {
  InstrumentOptions o;
  o.state[kLaunch] = 1;
  Instrument m(o);
  Exchange(m, "B\r", 0);
  EXPECT_TRUE(RunUntil(m, 0, 1000).empty());
  m.Receive(B("C\r"), 1000);
  const auto results = RunUntil(m, 1000, 3000);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].bytes[0], 'G');
  EXPECT_EQ(Exchange(m, "I0\r", 3000), Bytes{'\r'});
  EXPECT_EQ(RunUntil(m, 3000, 3350).size(), 3u) << "automatic launch again";
}

TEST(SimResults, FieldLengthFollowsTheMode) {
  struct Case {
    std::string frame;  // empty: the mode comes from a state word
    std::size_t length;
  };
  // Every mode: 'G' and four count bytes, or eight for DL4 and duty cycle.
  const Case cases[] = {{"R1\r", 5}, {"R2\r", 5}, {"R3\r", 5}, {"R4\r", 5}, {"R5\r", 5},
                        {"R6\r", 9}, {"R7\r", 5}, {"R8\r", 5}, {"", 5},     {"A1\r", 5},
                        {"A2\r", 5}, {"A3\r", 5}, {"H\r", 5},  {"S\r", 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame.empty() ? "count variant" : c.frame);
    Instrument m;
    if (c.frame.empty()) {
      std::string error;
      ASSERT_TRUE(m.ApplyWord("state:8,1,2,0,1,0,0,0,1,1,0,1,64,128,0", &error)) << error;
    }
    Exchange(m, "B\r" + c.frame, 0);
    const auto results = RunUntil(m, 0, 150);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].bytes.size(), c.length);
    EXPECT_EQ(results[0].bytes[0], 'G');
  }
}

TEST(SimResults, EncodingIsMostSignificantByteFirst) {
  EXPECT_EQ(EncodeCounts({0x01020304, 0, false}), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(EncodeCounts({0x01020304, 0xA0B0C0D0, true}),
            (Bytes{1, 2, 3, 4, 0xA0, 0xB0, 0xC0, 0xD0}));
}

// What the panel makes of the counts, for the modes the cases below use.
double Reading(const PanelBytes& s, const Counts& c) {
  const double scale = std::pow(10.0, -s[kGate]);
  static constexpr double kUnit[] = {0.1, 1, 0.01, 0.1, 1};  // per time-stamp index
  switch (s[kMode]) {
    case kFrequency:
    case kRatio:
      return c.n1 * scale;
    case kPeriod:
    case kDuration2:
      return c.n1 * kUnit[s[kTimestamp]] * scale;
    case kDuration1:
    case kDuration3:
      return c.n1 * kUnit[s[kTimestamp]];
    case kDuration4: {
      static constexpr double kStep[] = {0.1, 1, 10, 100, 1000};
      if (s[kLaunch] == 1 || s[kTest] == 1) return c.n1 * kStep[s[kTimestamp]];
      return s[kGate] == 0 ? c.n1 * 1000.0 / c.n2 : c.n1 * 0.01;
    }
    case kDutyCycle:
      return (static_cast<double>(c.n1 & 0x7FFFFFFF) / c.n2) * scale;
    default:
      return c.n1;
  }
}

TEST(SimResults, CountsGivePlausibleReadings) {
  struct Case {
    std::uint8_t mode, timestamp, gate, channel;
    double expected;   // in the unit the panel shows
    double tolerance;  // one count, plus the signal's drift
    std::uint8_t launch = 0;
  };
  const Case cases[] = {
      {kFrequency, 1, 0, 1, 12.0, 1.0},           // kHz, 1 ms gate
      {kFrequency, 1, 2, 1, 12.34, 0.011},        // 0.1 s gate
      {kFrequency, 1, 4, 1, 12.34568, 0.0003},    // 10 s gate
      {kFrequency, 1, 3, 2, 7654.321, 0.1},       // channel B
      {kPeriod, 0, 2, 1, 81.0000, 0.002},         // us
      {kPeriod, 3, 0, 1, 0.0, 0.11},              // ms: below one stamp
      {kDuration1, 0, 3, 1, 24.3, 0.11},          // us, the 30 % pulse
      {kDuration2, 1, 3, 1, 24.300, 0.002},       // averaged
      {kDuration3, 1, 0, 1, 56.7, 1.0},           // the gap
      {kDuration4, 1, 0, 1, 24.3, 0.1},           // automatic launch
      {kDuration4, 1, 2, 1, 24.3, 0.011},         //
      {kDuration4, 0, 3, 1, 24.3, 0.11, 1},       // single shot: the stamp's step
      {kCountByDuration, 1, 2, 1, 1234.5, 1.0},   // pulses in the gate
      {kCountByPeriod, 1, 2, 1, 81.0, 1.0},       // stamps in one period
      {kCountVariant, 1, 2, 1, 12345.678, 1.0},   // pulses since counting began
      {kRatio, 1, 2, 1, 4.94, 0.011},             // A/C
      {kTachometer, 1, 2, 1, 740740.68, 8.0},     // per minute
      {kDutyCycle, 1, 0, 1, 10.0 / 3.0, 0.0002},  // period over pulse
      {kDutyCycle, 1, 3, 4, 2.0, 0.0002},         // channel C
  };
  std::mt19937 rng(7);
  for (const Case& c : cases) {
    PanelBytes s = DefaultState();
    s[kMode] = c.mode;
    s[kTimestamp] = c.timestamp;
    s[kGate] = c.gate;
    s[kChannel] = c.channel;
    s[kLaunch] = c.launch;
    for (int i = 0; i < 20; ++i) {
      const Counts counts = MeasureCounts(s, 0, 1.0, rng);
      EXPECT_NEAR(Reading(s, counts), c.expected, c.tolerance)
          << "mode " << int(c.mode) << " t " << int(c.timestamp) << " g " << int(c.gate);
    }
  }
}

TEST(SimResults, DutyCycleFlagBitComesAndGoes) {
  Instrument m;
  Exchange(m, "B\rS\r", 0);
  int flagged = 0;
  for (const Sent& r : RunUntil(m, 0, 1050)) {
    ASSERT_EQ(r.bytes.size(), 9u);
    const auto word = [&](std::size_t at) {
      return static_cast<double>(std::uint32_t{r.bytes[at]} << 24 | r.bytes[at + 1] << 16 |
                                 r.bytes[at + 2] << 8 | r.bytes[at + 3]);
    };
    const double n1 = word(1) - (r.bytes[1] >> 7) * 2147483648.0;
    EXPECT_NEAR(n1 / word(5) / 100, 10.0 / 3.0, 0.001);  // 30 % duty, 0.1 s gate
    flagged += r.bytes[1] >> 7;
  }
  EXPECT_GT(flagged, 0);
  EXPECT_LT(flagged, 10);
}

TEST(SimFaults, FrameFaults) {
  struct Case {
    std::string word;
    std::string frame;
    double at;  // when the reply comes, or negative for none
    Bytes reply;
  };
  const Case cases[] = {
      {"noack:M2", "M2\r", -1, {}},
      {"noack:M2", "M3\r", 0, {'\r'}},
      {"noack:L", "L\r\r", -1, {}},
      {"lateack:T1:1500", "T1\r", 1500, {'\r'}},
      {"badack:K1", "K1\r", 0, {'X'}},
      {"badack:K1:41", "K1\r", 0, {'A'}},
      {"stray:K1", "K1\r", 0, {'?', '?', '\r'}},
      {"stray:K1:3", "K1\r", 0, {'?', '?', '?', '\r'}},
      {"late-hello", "B\r", 1200, {'N', 5}},
      {"silent", "B\r", -1, {}},
      {"late-config:1300", "D1\r", 1300, {}},
  };
  for (const Case& c : cases) {
    Instrument m(Quiet());
    std::string error;
    ASSERT_TRUE(m.ApplyWord(c.word, &error)) << error;
    m.Receive(B(c.frame), 0);
    const auto sent = RunUntil(m, 0, 5000);
    if (c.at < 0) {
      EXPECT_TRUE(sent.empty()) << c.word;
      continue;
    }
    ASSERT_EQ(sent.size(), 1u) << c.word;
    EXPECT_DOUBLE_EQ(sent[0].at, c.at) << c.word;
    if (!c.reply.empty()) {
      EXPECT_EQ(sent[0].bytes, c.reply) << c.word;
    }
  }
}

TEST(SimFaults, ShortStateReply) {
  Instrument m(Quiet());
  std::string error;
  ASSERT_TRUE(m.ApplyWord("short-state:4", &error));
  EXPECT_EQ(Exchange(m, "D1\r"), (Bytes{'C', 0, 1, 2, 0}));
}

TEST(SimFaults, ResultFaults) {
  struct Case {
    std::string word;
    std::vector<std::pair<double, std::size_t>> sent;  // time and length of each chunk
    std::uint8_t firstByte;
  };
  const Case cases[] = {
      {"status-n", {{100, 1}, {200, 1}}, 'N'},
      {"status-e:1", {{100, 1}, {200, 5}}, 'E'},
      {"short-count", {{100, 3}, {200, 3}}, 'G'},
      {"late-status:1100:1", {{1200, 5}, {1300, 5}}, 'G'},
      {"late-count:500:1", {{100, 1}, {600, 4}, {700, 5}}, 'G'},
      {"garbage:1", {{100, 5}, {150, 3}, {200, 5}}, 'G'},
  };
  for (const Case& c : cases) {
    Instrument m;
    std::string error;
    ASSERT_TRUE(m.ApplyWord(c.word, &error)) << error;
    Exchange(m, "B\r", 0);
    const auto sent = RunUntil(m, 0, c.sent.back().first + 1);
    ASSERT_EQ(sent.size(), c.sent.size()) << c.word;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      EXPECT_DOUBLE_EQ(sent[i].at, c.sent[i].first) << c.word << " chunk " << i;
      EXPECT_EQ(sent[i].bytes.size(), c.sent[i].second) << c.word << " chunk " << i;
    }
    EXPECT_EQ(sent[0].bytes[0], c.firstByte) << c.word;
  }
}

TEST(SimFaults, ZeroSecondCountOnlyInWideFields) {
  Instrument m;
  std::string error;
  ASSERT_TRUE(m.ApplyWord("zero-n2:1", &error));
  Exchange(m, "B\rR1\r", 0);
  const auto narrow = RunUntil(m, 0, 150);
  ASSERT_EQ(narrow.size(), 1u);
  Exchange(m, "R6\r", 150);
  const auto wide = RunUntil(m, 150, 350);
  ASSERT_EQ(wide.size(), 2u);
  EXPECT_EQ(Bytes(wide[0].bytes.begin() + 5, wide[0].bytes.end()), (Bytes{0, 0, 0, 0}));
  EXPECT_NE(Bytes(wide[1].bytes.begin() + 5, wide[1].bytes.end()), (Bytes{0, 0, 0, 0}));
}

TEST(SimFaults, DropAfterFrames) {
  Instrument m(Quiet());
  std::string error;
  ASSERT_TRUE(m.ApplyWord("drop-after:2", &error));
  m.Receive(B("B\r"), 0);
  EXPECT_FALSE(m.DropRequested());
  m.Receive(B("M1\r"), 1);
  EXPECT_TRUE(m.DropRequested());
}

TEST(SimFaults, ClearRemovesEveryFault) {
  Instrument m(Quiet());
  std::string error;
  for (const char* w : {"silent", "noack:M1", "short-state", "clear"}) {
    ASSERT_TRUE(m.ApplyWord(w, &error)) << error;
  }
  EXPECT_EQ(Exchange(m, "M1\r"), Bytes{'\r'});
  EXPECT_EQ(Exchange(m, "D1\r").size(), 16u);
}

TEST(SimFaults, MalformedWordsAreRefused) {
  for (const char* w :
       {"frobnicate", "noack", "noack:X9", "noack:L5", "lateack:T1", "lateack:T1:x", "badack:K1:0D",
        "badack:K1:100", "stray:K1:0", "status-n:0", "late-status:10:2:3", "short-state:15",
        "drop-after:x", "state:1,2", "silent:1"}) {
    Instrument m(Quiet());
    std::string error;
    EXPECT_FALSE(m.ApplyWord(w, &error)) << w;
    EXPECT_NE(error.find(w), std::string::npos) << w;
  }
}

TEST(SimState, ParseStateTakesExactlyFifteenBytes) {
  EXPECT_EQ(ParseState("0,1,0,0,1,0,0,1,0,1,0,1,64,127,0"),
            (PanelBytes{0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 1, 64, 127, 0}));
  EXPECT_FALSE(ParseState("0,1,0,0,1,0,0,1,0,1,0,1,64,127"));
  EXPECT_FALSE(ParseState("0,1,0,0,1,0,0,1,0,1,0,1,64,127,256"));
  EXPECT_FALSE(ParseState("0,1,0,0,1,0,0,1,0,1,0,1,64,127,"));
}

}  // namespace
}  // namespace kolvane::sim
