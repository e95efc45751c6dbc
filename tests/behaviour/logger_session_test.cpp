// The logger's run on a scripted instrument: the frames of each setting in
// the panel's order, and how each kind of failure ends the run.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "logger/session.h"
#include "resources/format.h"
#include "tests/support/scripted_port.h"
#include "tests/support/virtual_clock.h"

namespace kolvane::test {
namespace {

using logger::LogOptions;

struct Rows : IReadingSink {
  void OnShown(const ShownReading& s) override { shown.push_back(s); }
  std::vector<ShownReading> shown;
};

// An instrument on COM2 that acknowledges every frame but `refused`, reads
// back frequency mode on channel A, and sends a result after each poll read.
struct Bench {
  explicit Bench(std::string refused = "", std::uint8_t mode = 0) {
    ports.AddPort("COM2:");
    ports.OnWrite([=, this](ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
      const std::string frame(f.begin(), f.end());
      if (frame == "B\r") {
        p.Reply(std::string("N\x05"));
      } else if (frame == "D1\r") {
        const std::uint8_t state[] = {'C', mode, 1, 2, 0, 1, 0, 0, 0, 1, 1, 0, 1, 64, 127, 0};
        p.Reply(state);
      } else if (frame != "J\r" && frame.substr(0, 2) != refused) {
        p.Reply(std::string("\r"));
      }
      // Results follow the last setting (the reads take bytes in order).
      const std::uint8_t result[] = {'G', 0, 0, 0x04, 0xD2};
      for (int i = 0; frame == "R2\r" && i < queued; ++i) p.Reply(result, 1000 + 50u * i);
    });
  }
  // results: how many the instrument sends after "R2"; unplug: the bridge
  // is pulled as recording starts.
  logger::SessionResult Run(const LogOptions& o, int results = 0, bool unplug = false) {
    queued = results;
    const auto stop = [&, unplug] {
      if (unplug) ports.Unplug("COM2:");
      return false;
    };
    logger::SessionDeps deps{
        ports,    clock,  stop, [](const std::string&, std::uint32_t) { return std::string(); },
        messages, nullptr};
    return logger::RunSession(o, deps, rows);
  }
  std::vector<std::string> Frames() const { return ports.WrittenFrames(); }

  VirtualClock clock;
  ScriptedPorts ports{clock};
  std::ostringstream messages;
  Rows rows;
  int queued = 0;
};

TEST(LoggerSession, AppliesSettingsInThePanelsOrderThenRecords) {
  Bench b;
  LogOptions o;
  o.timestampIndex = 2;
  o.gateIndex = 4;
  o.channel = logger::Channel::C;
  o.mode = logger::LogMode::Period;
  o.count = 3;
  const auto r = b.Run(o, 3);
  EXPECT_EQ(r.status, logger::kExitOk) << b.messages.str();
  EXPECT_EQ(b.Frames(), (std::vector<std::string>{"B\r", "D1\r", "M2\r", "T4\r", "K3\r", "D1\r",
                                                  "R2\r", "J\r"}));
  ASSERT_EQ(b.rows.shown.size(), 3u);
  // Period mode, 10^-6 s stamp, gate index 4: 1234 counts are 0.1234 us.
  EXPECT_EQ(b.rows.shown[0].measureMode, 2u);
  EXPECT_EQ(b.rows.shown[0].reading.format.unit, ReadingUnit::Microseconds);
}

struct FailureCase {
  const char* name;
  std::string refused;  // frame letter and digit the instrument ignores
  std::uint8_t mode;    // the mode code the readback reports
  LogOptions options;
  int status;
  std::string message;  // a line stderr must hold
};

LogOptions With(std::optional<int> gate, std::optional<logger::Channel> channel,
                std::optional<int> port = 2) {
  LogOptions o;
  o.gateIndex = gate;
  o.channel = channel;
  o.port = port;
  return o;
}

class LoggerFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LoggerFailure, EndsWithItsStatusAndSaysWhy) {
  const FailureCase& c = GetParam();
  Bench b(c.refused, c.mode);
  const auto r = b.Run(c.options);
  EXPECT_EQ(r.status, c.status);
  EXPECT_NE(b.messages.str().find(c.message), std::string::npos) << b.messages.str();
  EXPECT_EQ(r.rows, 0u);
  if (c.status != logger::kExitNoInstrument) {
    EXPECT_EQ(b.Frames().back(), "J\r");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoggerFailure,
    ::testing::Values(
        FailureCase{"GateNotAcknowledged", "T5", 0, With(5, {}), 5,
                    "Нет отклика от прибора\nkolvane-log: the instrument did not take --gate 10s"},
        FailureCase{"ChannelRefusedInDl4", "", 5, With({}, logger::Channel::A), 5,
                    "Включите канал С\n"},
        FailureCase{"NoInstrumentOnTheGivenPort", "", 0, With({}, {}, 4), 3, "  COM4: missing\n"}),
    [](const auto& i) { return std::string(i.param.name); });

// What the gate's acknowledgement read takes decides where polling starts.
// Count bytes 'G' and 'N' would be misread as a status were the line left
// inside a result.
struct AckCase {
  const char* name;
  std::string afterGate;  // the bytes that answer "T4", all at once
  std::vector<std::uint32_t> rows;
};

using namespace std::string_literals;

class LoggerAfterAck : public ::testing::TestWithParam<AckCase> {};

TEST_P(LoggerAfterAck, RecordsEveryWholeResultAndNothingElse) {
  Bench b;
  b.ports.OnWrite([&](ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
    const std::string frame(f.begin(), f.end());
    if (frame == "B\r") p.Reply(std::string("N\x05"));
    if (frame == "D1\r") {
      const std::uint8_t state[] = {'C', 0, 1, 2, 0, 1, 0, 0, 0, 1, 1, 0, 1, 64, 127, 0};
      p.Reply(state);
    }
    if (frame != "T4\r") return;
    p.Reply(GetParam().afterGate);
    p.Reply("G\x00\x01\x02\x03"s, 500);
    p.Reply("G\x00\x01\x02\x04"s, 1500);
  });
  LogOptions o;
  o.gateIndex = 4;
  o.count = GetParam().rows.size();
  o.durationS = 10;  // virtual seconds: a row missing ends the run, not the test
  const auto r = b.Run(o);
  ASSERT_EQ(r.status, logger::kExitOk) << b.messages.str();
  std::vector<std::uint32_t> counts;
  // Frequency at a 1 s gate: the count in Hz, shown in kHz.
  for (const ShownReading& s : b.rows.shown) {
    counts.push_back(s.kind == ShownKind::Stop
                         ? 0
                         : static_cast<std::uint32_t>(std::lround(s.reading.value * 1000)));
  }
  EXPECT_EQ(counts, GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoggerAfterAck,
    ::testing::Values(
        // The read took the CR and the status of a result right behind it.
        AckCase{"StatusBehindTheAck", "\rGGNGN"s, {0x474E474E, 0x010203, 0x010204}},
        AckCase{"NothingBehindTheAck", "\r", {0x010203, 0x010204}},
        // A result cut by the drain before the frame: its tail came first.
        AckCase{"TailOfAResultBeforeTheAck", "NG\rGN\x00"s, {0x010203, 0x010204}}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(LoggerSession, ALineThatFailsMidRunEndsWithStatusFour) {
  Bench b;
  LogOptions o;
  const auto r = b.Run(o, 0, true);
  EXPECT_EQ(r.status, logger::kExitLinkFailed);
  EXPECT_NE(b.messages.str().find("failed"), std::string::npos);
}

}  // namespace
}  // namespace kolvane::test
