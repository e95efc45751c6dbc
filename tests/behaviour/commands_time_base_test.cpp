// The ten time-base radios.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/behaviour/commands_fixture.h"

namespace kolvane::test {
namespace {

struct TimeBaseCase {
  int control;
  std::string frame;
  bool gate;  // sets gateIndex rather than timestampIndex
  std::uint32_t index;
  std::size_t blanks;
  std::size_t silentReads;
  std::uint64_t silentMs;
};

// Rule 1 reads three times (with a pause before the third), rules 2 and 3
// twice with a pause between.
const std::vector<TimeBaseCase> kTimeBase = {
    {1001, "M1\r", false, 1, 6, 3, 3001}, {1002, "M2\r", false, 2, 4, 2, 2001},
    {1003, "M3\r", false, 3, 4, 2, 2001}, {1004, "M4\r", false, 4, 6, 2, 2001},
    {1005, "M5\r", false, 5, 5, 2, 2001}, {1006, "T1\r", true, 1, 5, 2, 2001},
    {1007, "T2\r", true, 2, 7, 2, 2001},  {1008, "T3\r", true, 3, 5, 2, 2001},
    {1009, "T4\r", true, 4, 4, 2, 2001},  {1010, "T5\r", true, 5, 7, 2, 2001},
};

constexpr int kWatched[] = {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009,
                            1010, 1013, 1014, 1015, 1016, 1019, 1020, 1109, 1050};

std::vector<bool> Enabling(const CommandBench& b) {
  std::vector<bool> out;
  for (int id : kWatched) out.push_back(b.Enabled(id));
  return out;
}

TEST(TimeBase, AcknowledgedClick) {
  for (const TimeBaseCase& c : kTimeBase) {
    SCOPED_TRACE(c.frame);
    CommandBench b;
    b.SetEnabled({1001, 1003, 1007, 1014, 1109}, false);
    b.h.state.measurementArmed = 1;
    b.StepCalibrationUnsaved();
    b.h.window.SetText(1053, "old");
    const auto enablingBefore = Enabling(b);
    const std::uint32_t otherBefore = c.gate ? b.h.state.timestampIndex : b.h.state.gateIndex;

    b.h.window.Click(c.control);

    EXPECT_EQ(b.Frames(), std::vector<std::string>{c.frame});
    EXPECT_EQ(b.timerRunningAtWrite, std::vector<bool>{false});
    EXPECT_EQ(c.gate ? b.h.state.gateIndex : b.h.state.timestampIndex, c.index);
    EXPECT_EQ(c.gate ? b.h.state.timestampIndex : b.h.state.gateIndex, otherBefore);
    EXPECT_EQ(b.Message(), kMessageBlank);
    EXPECT_EQ(b.h.state.measurementArmed, 0u);
    EXPECT_EQ(b.h.state.calibrationMode, 0u);
    EXPECT_TRUE(b.CalibrationReverted());
    EXPECT_EQ(Enabling(b), enablingBefore);
    EXPECT_EQ(b.LastPeriod(), 20u);
    EXPECT_TRUE(b.TimerRunning());
  }
}

TEST(TimeBase, SilentInstrument) {
  for (const TimeBaseCase& c : kTimeBase) {
    SCOPED_TRACE(c.frame);
    CommandBench b;
    b.Silent();
    const std::uint64_t start = b.h.clock.now;

    b.h.window.Click(c.control);

    EXPECT_EQ(b.Message(), NoReply(c.blanks));
    EXPECT_EQ(b.h.ports.reads.size(), c.silentReads);
    EXPECT_EQ(b.h.clock.now - start, c.silentMs);
    // Nothing is rolled back.
    EXPECT_EQ(c.gate ? b.h.state.gateIndex : b.h.state.timestampIndex, c.index);
    EXPECT_EQ(b.LastPeriod(), 20u);
  }
}

TEST(TimeBase, WrongReplies) {
  // Pairs that do not start with CR, then one more byte: only rule 1 takes
  // the byte; rule 2 gives up after the second pair; rule 3 takes anything.
  const struct {
    int control;
    std::string message;
  } cases[] = {
      {1001, kMessageBlank},
      {1002, NoReply(4)},
      {1010, kMessageBlank},
  };
  for (const auto& c : cases) {
    CommandBench b;
    b.AnswerWith([](const std::string&) { return std::string("XYZWQ"); });
    b.h.window.Click(c.control);
    EXPECT_EQ(b.Message(), c.message) << c.control;
  }
}

TEST(TimeBase, ClickingTheSelectedRadioSendsAgain) {
  CommandBench b;
  b.h.window.Click(1008);
  b.h.state.measurementArmed = 1;
  b.h.window.Click(1008);
  EXPECT_EQ(b.Frames(), (std::vector<std::string>{"T3\r", "T3\r"}));
  EXPECT_EQ(b.h.state.measurementArmed, 0u);
}

TEST(TimeBase, ALaterWriteOfTheControlsKeepsTheClickedRadios) {
  CommandBench b;
  b.h.window.Click(1004);
  b.h.window.Click(1009);
  b.h.window.Click(1050);  // the Memory handler writes the controls
  EXPECT_EQ(b.Checked(1004), 1);
  EXPECT_EQ(b.Checked(1002), 0);
  EXPECT_EQ(b.Checked(1009), 1);
  EXPECT_EQ(b.Checked(1006), 0);
}

}  // namespace
}  // namespace kolvane::test
