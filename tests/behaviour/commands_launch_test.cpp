// Launch control: the automatic and single-shot radios, Start, and the test
// and memory toggles.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/behaviour/commands_fixture.h"

namespace kolvane::test {
namespace {

const std::vector<int> kTimestamps{1001, 1002, 1003, 1004, 1005};

std::vector<std::pair<std::uint32_t, std::uint32_t>> Reads(const CommandBench& b) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
  for (const ReadRecord& r : b.h.ports.reads) out.emplace_back(r.asked, r.got);
  return out;
}

TEST(Launch, AutomaticAndSingleShot) {
  const struct {
    const char* name;
    int radio;
    std::string frame;
    std::uint32_t singleShot;
    // (asked, got) of every read; the single shot drains 5 bytes before the
    // write and 5 after it, with no CR test in between.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reads;
    int generator;  // selection of list 1056 afterwards
    int progress;   // last position set on bar 1000
  } cases[] = {
      {"auto", 1066, "I0\r", 0, {{1, 1}}, 0, 7},
      {"single", 1067, "I1\r", 1, {{5, 0}, {5, 1}}, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandBench b;
    b.h.state.singleShot = 1 - c.singleShot;
    b.h.state.measurementArmed = 1;
    b.h.window.ListSetCurSel(1056, 1);
    b.h.window.ProgressSetPos(1000, 7);
    b.h.window.SetText(1053, "old");
    b.StepCalibrationUnsaved();

    b.h.window.Click(c.radio);

    EXPECT_EQ(b.Frames(), std::vector<std::string>{c.frame});
    EXPECT_EQ(b.timerRunningAtWrite, std::vector<bool>{false});
    EXPECT_EQ(Reads(b), c.reads);
    EXPECT_EQ(b.h.state.singleShot, c.singleShot);
    EXPECT_EQ(b.h.panel.launchRadio, static_cast<int>(c.singleShot));
    EXPECT_EQ(b.h.state.measurementArmed, 0u);
    EXPECT_EQ(b.h.window.ListGetCurSel(1056), c.generator);
    EXPECT_EQ(b.h.window.progressLog.back(), c.progress);
    EXPECT_EQ(b.Message(), "old");
    EXPECT_EQ(b.h.state.calibrationMode, 0u);
    EXPECT_TRUE(b.CalibrationReverted());
    EXPECT_EQ(b.LastPeriod(), 20u);
    EXPECT_TRUE(b.TimerRunning());
  }
}

TEST(Launch, SingleShotDrainsBeforeTheWrite) {
  CommandBench b;
  b.h.ports.Reply("GABCD");  // a result still on its way
  b.h.window.Click(1067);
  ASSERT_EQ(b.h.ports.reads.size(), 2u);
  EXPECT_EQ(b.h.ports.reads[0].got, 5u);
  ASSERT_EQ(b.Writes().size(), 1u);
  EXPECT_LE(b.h.ports.reads[0].at + b.h.ports.reads[0].took, b.Writes()[0].at);
  EXPECT_GE(b.h.ports.reads[1].at, b.Writes()[0].at);
}

TEST(Launch, SingleShotComplainsOnlyWhenTheWriteFailedAndNothingCame) {
  const struct {
    const char* name;
    std::optional<std::uint32_t> writeAccepts;
    std::string reply;
    std::string message;
  } cases[] = {
      {"written, silence", std::nullopt, "", "old"},
      {"not written, a byte", 0, "x", "old"},
      {"not written, silence", 0, "", kBufferEmpty},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandBench b;
    if (c.writeAccepts) {
      PortSpec setup;
      setup.writeAccepts = c.writeAccepts;
      b.h.ports.AddPort("COM1:", setup);
    }
    b.AnswerWith([&c](const std::string&) { return c.reply; });
    b.h.window.SetText(1053, "old");
    b.h.window.Click(1067);
    EXPECT_EQ(b.Message(), c.message);
    EXPECT_EQ(b.h.state.singleShot, 1u);
    EXPECT_TRUE(b.TimerRunning());
  }
}

TEST(Launch, StartSendsOnlyInSingleShot) {
  const struct {
    const char* name;
    std::uint32_t singleShot;
    int presses;
    std::vector<std::string> frames;
    std::string message;
    std::uint32_t armed;
  } cases[] = {
      {"automatic", 0, 1, {}, "old", 0},
      {"single shot", 1, 1, {"C\r"}, "Измерение.", 1},
      {"single shot, twice", 1, 2, {"C\r", "C\r"}, "Измерение.", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandBench b;
    b.h.state.singleShot = c.singleShot;
    b.h.window.ProgressSetPos(1000, 7);
    b.h.window.SetText(1053, "old");
    b.StepCalibrationUnsaved(140);
    b.h.state.rxBuffer[0] = 0x0D;

    for (int i = 0; i < c.presses; ++i) b.h.window.Click(1041);

    EXPECT_EQ(b.Frames(), c.frames);
    // The result is the cycle's to read.
    EXPECT_TRUE(b.h.ports.reads.empty());
    EXPECT_EQ(b.h.state.rxBuffer[0], c.singleShot == 1 ? '&' : 0x0D);
    EXPECT_EQ(b.Message(), c.message);
    EXPECT_EQ(b.h.state.measurementArmed, c.armed);
    EXPECT_EQ(b.h.window.progressLog.back(), 0);
    // Start ends calibration mode but leaves the stepped value on the spin.
    EXPECT_EQ(b.h.state.calibrationMode, 0u);
    EXPECT_EQ(b.h.window.SpinGetPos(1108), 140);
    EXPECT_EQ(b.LastPeriod(), 20u);
    EXPECT_TRUE(b.TimerRunning());
  }
}

TEST(Launch, TestMeasureTogglesAndTimestamps) {
  // In frequency, count and ratio the time stamps follow test; elsewhere they
  // stay as they were.
  const struct {
    std::uint32_t mode;
    bool follows;
  } modes[] = {{1, true}, {2, false}, {3, false},  {6, false}, {7, true},
               {8, true}, {10, true}, {11, false}, {12, false}};
  for (const auto& m : modes) {
    for (int wasOn : {0, 1}) {
      for (bool before : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << "mode " << m.mode << (wasOn != 0 ? ", test on" : ", test off")
                     << (before ? ", stamps on" : ", stamps off"));
        CommandBench b;
        b.h.state.measureMode = m.mode;
        b.h.panel.testMeasureToggle = wasOn;
        b.h.window.SetCheck(1025, wasOn);
        b.h.state.measurementArmed = 1;
        b.h.window.SetText(1053, "old");
        b.StepCalibrationUnsaved();
        for (int id : kTimestamps) b.h.window.EnableControl(id, before);

        b.h.window.Click(1025);

        EXPECT_EQ(b.Frames(), std::vector<std::string>{wasOn != 0 ? "Q1\r" : "Q2\r"});
        EXPECT_EQ(b.timerRunningAtWrite, std::vector<bool>{false});
        EXPECT_EQ(b.h.panel.testMeasureToggle, 1 - wasOn);
        const bool want = m.follows ? wasOn == 0 : before;
        for (int id : kTimestamps) EXPECT_EQ(b.Enabled(id), want) << id;
        EXPECT_EQ(b.h.state.measurementArmed, wasOn != 0 ? 0u : 1u);
        EXPECT_EQ(b.Message(), kMessageBlank);
        // Test/Measure redraws the spin but leaves calibration mode on.
        EXPECT_EQ(b.h.state.calibrationMode, 1u);
        EXPECT_TRUE(b.CalibrationReverted());
        EXPECT_EQ(b.LastPeriod(), 20u);
        EXPECT_TRUE(b.TimerRunning());
      }
    }
  }
}

TEST(Launch, MemorySendsOrSpringsBack) {
  const struct {
    const char* name;
    std::uint32_t mode;
    std::uint32_t calibration;
    int wasOn;
    std::vector<std::string> frames;
    int on;  // toggle and button afterwards
    std::uint32_t used;
  } cases[] = {
      {"frequency, on", 1, 0, 0, {"P2\r"}, 1, 1},
      {"frequency, off", 1, 0, 1, {"P1\r"}, 0, 1},
      {"count, on", 7, 0, 0, {"P2\r"}, 1, 1},
      {"DL4", 6, 0, 0, {}, 0, 0},
      {"tachometer", 11, 0, 0, {}, 0, 0},
      {"duty cycle", 12, 0, 0, {}, 0, 0},
      {"calibrating, off stays off", 1, 1, 0, {}, 0, 0},
      {"calibrating, on stays on", 1, 1, 1, {}, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandBench b;
    b.h.state.measureMode = c.mode;
    b.h.panel.memoryToggle = c.wasOn;
    b.h.window.SetCheck(1050, c.wasOn);
    b.h.state.memoryUsed = 0;
    b.h.state.measurementArmed = 1;
    if (c.calibration != 0) b.StepCalibrationUnsaved();
    b.SetEnabled({1001, 1004, 1007, 1010}, false);
    b.SetEnabled({1109}, true);

    b.h.window.Click(1050);

    EXPECT_EQ(b.Frames(), c.frames);
    // The poll timer is not stopped for this exchange.
    EXPECT_TRUE(b.h.window.timerKills.empty());
    for (bool running : b.timerRunningAtWrite) EXPECT_TRUE(running);
    EXPECT_EQ(b.h.panel.memoryToggle, c.on);
    EXPECT_EQ(b.Checked(1050), c.on);
    EXPECT_EQ(b.h.state.memoryUsed, c.used);
    const bool sent = !c.frames.empty();
    for (int id : {1001, 1004, 1007, 1010}) EXPECT_EQ(b.Enabled(id), sent) << id;
    EXPECT_EQ(b.h.state.calibrationMode, c.calibration);
    EXPECT_EQ(b.Enabled(1109), c.calibration != 0);
    EXPECT_EQ(b.CalibrationReverted(), c.calibration == 0);
    EXPECT_EQ(b.h.state.measurementArmed, 0u);
    EXPECT_EQ(b.LastPeriod(), 20u);
  }
}

}  // namespace
}  // namespace kolvane::test
