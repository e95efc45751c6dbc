// The counter API on a scripted instrument: each setting's frame, what it
// says when the acknowledgement fails, and what it refuses without a frame.
#include "counter/counter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "resources/texts.h"
#include "tests/support/scripted_port.h"
#include "tests/support/virtual_clock.h"

namespace kolvane::test {
namespace {

namespace mode = protocol::mode;

// An instrument on COM1 that answers the handshake, and every other frame
// with CR unless `silent` is set.
struct Bench {
  Bench() {
    ports.AddPort("COM1:");
    ports.OnWrite([this](ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
      const std::string frame(f.begin(), f.end());
      if (frame == "B\r") {
        p.Reply(std::string("N\x07"));
      } else if (frame == "D1\r") {
        p.Reply(std::string("C") + std::string(state, sizeof state));
      } else if (!silent && frame != "J\r" && frame != "C\r") {
        p.Reply(std::string("\r"));
      }
    });
    IScanObserver quiet;
    link.Scan(quiet, 1, 1);
    counter.AssumeStartValues();
    ports.writes.clear();
  }
  // The frames written since the scan, as text.
  std::vector<std::string> Frames() const { return ports.WrittenFrames(); }

  VirtualClock clock;
  ScriptedPorts ports{clock};
  CounterState st;
  InstrumentLink link{ports, clock, st};
  Counter counter{link, clock, st};
  bool silent = false;
  // DL2, 10^-5 s, 1 s, generator ext., channel C, memory on, test on, slope,
  // 1 MOhm, 1:1, AC, filter off, level 70, calibration 140, single shot.
  char state[15] = {3, 2, 3, 1, 4, 1, 1, 1, 1, 1, 1, 1, 70, char(140), 1};
};

struct SettingCase {
  const char* name;
  std::function<void(CounterState&)> given;
  std::function<Outcome(Counter&)> set;
  std::vector<std::string> frames;
  std::string failureText;  // when the instrument stays silent
};

TEST(Counter, EachSettingSendsItsFrameAndFailsWithItsText) {
  const auto onChannel = [](std::uint32_t ch) {
    return [ch](CounterState& s) { s.activeChannel = ch; };
  };
  const auto none = [](CounterState&) {};
  const SettingCase cases[] = {
      {"timestamp 1",
       none,
       [](Counter& c) { return c.SetTimestamp(1); },
       {"M1\r"},
       NoResponseText(6)},
      {"timestamp 5",
       none,
       [](Counter& c) { return c.SetTimestamp(5); },
       {"M5\r"},
       NoResponseText(5)},
      {"gate 2", none, [](Counter& c) { return c.SetGate(2); }, {"T2\r"}, NoResponseText(7)},
      {"gate 5", none, [](Counter& c) { return c.SetGate(5); }, {"T5\r"}, NoResponseText(7)},
      {"channel B",
       none,
       [](Counter& c) { return c.SelectChannel(protocol::kChannelB); },
       {"K2\r"},
       NoResponseText(8)},
      {"frequency",
       none,
       [](Counter& c) { return c.SetFrequencyMode(); },
       {"R1\r"},
       NoResponseText(6)},
      {"period", none, [](Counter& c) { return c.SetPeriodMode(); }, {"R2\r"}, NoResponseText(5)},
      {"DL4", none, [](Counter& c) { return c.SetDurationMode(3); }, {"R6\r"}, ""},
      {"count by period", none, [](Counter& c) { return c.SetCountMode(1); }, {"R8\r"}, ""},
      {"ratio C/A on A",
       onChannel(protocol::kChannelA),
       [](Counter& c) { return c.SetRatio(1, false); },
       {"A2\r"},
       NoResponseText(5)},
      {"ratio B/C on B",
       onChannel(protocol::kChannelB),
       [](Counter& c) { return c.SetRatio(2); },
       {"A3\r"},
       NoResponseText(3)},
      {"memory off",
       [](CounterState& s) { s.memoryUsed = 1; },
       [](Counter& c) { return c.SwitchMemoryOff(); },
       {"P1\r"},
       NoResponseText(2)},
      {"duty cycle",
       none,
       [](Counter& c) { return c.SetDutyCycleMode(); },
       {"S\r"},
       NoResponseText(7)},
      {"automatic",
       none,
       [](Counter& c) { return c.SetLaunch(false); },
       {"I0\r"},
       NoResponseText(5)},
      {"test on", none, [](Counter& c) { return c.SetTest(true); }, {"Q2\r"}, NoUsbText(3)},
      {"memory on",
       none,
       [](Counter& c) { return c.SetMemory(true); },
       {"P2\r"},
       NoResponseText(2)},
      {"attenuator 1:10",
       onChannel(protocol::kChannelC),
       [](Counter& c) { return c.SetInput(InputField::kAttenuator, 1); },
       {"V3\r"},
       NoResponseText(2)},
      {"filter on",
       onChannel(protocol::kChannelA),
       [](Counter& c) { return c.SetInput(InputField::kFilter, 1); },
       {"V7\r"},
       NoResponseText(2)},
      {"slope off",
       onChannel(protocol::kChannelA),
       [](Counter& c) { return c.SetInput(InputField::kSlope, 0); },
       {"F2\r"},
       NoResponseText(1)},
      {"generator ext.",
       none,
       [](Counter& c) { return c.SetGenerator(1); },
       {"I3\r"},
       NoResponseText(2)},
      {"level",
       onChannel(protocol::kChannelA),
       [](Counter& c) { return c.SetLevel(13); },
       {"L\r\r"},
       NoUsbText(4)},
      {"level reset in test",
       [](CounterState& s) { s.test = 1; },
       [](Counter& c) { return c.ResetLevel(64); },
       {"L@\r"},
       NoUsbText(4)},
      {"calibration store",
       none,
       [](Counter& c) { return c.SaveCalibration(130); },
       {"Z\r"},
       kTxBufferEmptyText},
  };
  for (const bool silent : {false, true}) {
    for (const SettingCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (silent ? ", silent" : ""));
      Bench b;
      b.silent = silent;
      c.given(b.st);
      const Outcome o = c.set(b.counter);
      EXPECT_EQ(b.Frames(), c.frames);
      EXPECT_EQ(o.kind, silent ? Outcome::kFailed : Outcome::kAcknowledged);
      if (silent) {
        EXPECT_EQ(o.text, c.failureText);
        EXPECT_FALSE(o.reason.empty());
      }
    }
  }
}

struct RefusalCase {
  const char* name;
  std::function<void(CounterState&)> given;
  std::function<Outcome(Counter&)> set;
  std::string text;  // the panel's own, or none
};

TEST(Counter, RefusesWhatThePanelRefusesWithoutAFrame) {
  const auto inMode = [](std::uint32_t m) { return [m](CounterState& s) { s.measureMode = m; }; };
  const RefusalCase cases[] = {
      {"channel A in DL4", inMode(mode::kDl4),
       [](Counter& c) { return c.SelectChannel(protocol::kChannelA); }, kSwitchToChannelCText},
      {"channel B in DL4", inMode(mode::kDl4),
       [](Counter& c) { return c.SelectChannel(protocol::kChannelB); }, kSwitchToChannelCText},
      {"memory in tachometer", inMode(mode::kTachometer),
       [](Counter& c) { return c.SetMemory(true); }, ""},
      {"memory in duty cycle", inMode(mode::kDutyCycle),
       [](Counter& c) { return c.SetMemory(false); }, ""},
      {"memory in DL4", inMode(mode::kDl4), [](Counter& c) { return c.SetMemory(true); }, ""},
      {"memory in calibration", [](CounterState& s) { s.calibrationMode = 1; },
       [](Counter& c) { return c.SetMemory(true); }, ""},
      {"A/C on channel B", [](CounterState& s) { s.activeChannel = protocol::kChannelB; },
       [](Counter& c) { return c.SetRatio(0); }, kChannelBOnText},
      {"B/C on channel A", [](CounterState& s) { s.activeChannel = protocol::kChannelA; },
       [](Counter& c) { return c.SetRatio(2); }, kChannelAOnText},
      {"B/C on channel C", [](CounterState& s) { s.activeChannel = protocol::kChannelC; },
       [](Counter& c) { return c.SetRatio(2); }, kChannelCOnText},
      {"input on channel B", [](CounterState& s) { s.activeChannel = protocol::kChannelB; },
       [](Counter& c) { return c.SetInput(InputField::kCoupling, 1); }, ""},
      {"level in test",
       [](CounterState& s) {
         s.activeChannel = protocol::kChannelC;
         s.test = 1;
       },
       [](Counter& c) { return c.SetLevel(64); }, kSwitchToMeasureText},
      {"gate 6", [](CounterState&) {}, [](Counter& c) { return c.SetGate(6); }, ""},
      {"calibration value outside calibration", [](CounterState&) {},
       [](Counter& c) { return c.SetCalibration(3); }, ""},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    c.given(b.st);
    const CounterState before = b.st;
    const Outcome o = c.set(b.counter);
    EXPECT_TRUE(o.Refused());
    EXPECT_EQ(o.text, c.text);
    EXPECT_FALSE(o.reason.empty());
    EXPECT_TRUE(b.Frames().empty());
    EXPECT_EQ(b.st.measureMode, before.measureMode);
    EXPECT_EQ(b.st.memory, before.memory);
  }
}

TEST(Counter, ReadBackTakesTheInstrumentsSettingsAndPollConvertsUnderThem) {
  Bench b;
  ASSERT_EQ(b.counter.ReadBack(), StateReply::Ok);
  const CounterState& s = b.st;
  EXPECT_EQ(s.measureMode, mode::kDl2);
  EXPECT_EQ(s.timestampIndex, 3u);
  EXPECT_EQ(s.gateIndex, 4u);
  EXPECT_EQ(s.activeChannel, protocol::kChannelC);
  EXPECT_EQ(s.inputC, (InputSettings{1, 1, 0, 0, 1}));
  EXPECT_EQ(s.generator, 1);
  EXPECT_EQ(s.levelPosition, 70);
  EXPECT_EQ(s.calibrationCode, 140);
  EXPECT_EQ(s.singleShot, 1u);
  EXPECT_EQ(s.memory, 1);
  EXPECT_EQ(s.test, 1);

  b.counter.Start();
  EXPECT_EQ(b.Frames().back(), "C\r");
  b.ports.Reply(std::string("G\x00\x00\x30\x39", 5));
  const CounterReading r = b.counter.Poll(true);
  ASSERT_TRUE(r.shown);
  EXPECT_EQ(r.shown->measureMode, mode::kDl2);
  EXPECT_EQ(r.shown->kind, ShownKind::Value);
}

}  // namespace
}  // namespace kolvane::test
