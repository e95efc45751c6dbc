// The mode radios and the channel radios: frames, state, and the enabling
// each one leaves behind.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "panel/dialogs/mode_dialogs.h"
#include "tests/behaviour/commands_fixture.h"

namespace kolvane::test {
namespace {

enum class En { kOn, kOff, kByTest };

bool Expected(En e, int test) {
  return e == En::kOn || (e == En::kByTest && test == 1);
}

const std::vector<int> kTimestamps{1001, 1002, 1003, 1004, 1005};
const std::vector<int> kGates{1006, 1007, 1008, 1009, 1010};
const std::vector<int> kInputs{1069, 1070, 1071, 1073, 1095};
const std::string kSwitchToC = "Включите канал \xD0\xA1 ";  // Cyrillic Es
const std::string kCountMessage = " В режиме СЧЕТ переключение каналов невозможно  ";

struct ModeRow {
  const char* name;
  int radio;
  int durationChoice;  // what the duration dialog sends on opening
  En a, b, c, timestamps, gates;
  std::vector<std::string> frames;
  std::uint32_t measureMode;
  int modeRadio;
  unsigned period;
};

// Save 1109 is left disabled by every mode.
const std::vector<ModeRow> kModes = {
    {"f", 1016, 0, En::kOn, En::kOn, En::kOn, En::kByTest, En::kOn, {"R1\r"}, 1, 0, 20},
    {"T", 1019, 0, En::kOn, En::kOff, En::kOn, En::kOn, En::kOn, {"R2\r"}, 2, 1, 20},
    {"DL1", 1020, 0, En::kOn, En::kOff, En::kOn, En::kOn, En::kOff, {"R3\r"}, 3, 2, 20},
    {"DL2", 1020, 1, En::kOn, En::kOff, En::kOn, En::kOn, En::kOn, {"R4\r"}, 4, 2, 20},
    {"DL3", 1020, 2, En::kOn, En::kOff, En::kOn, En::kOn, En::kOff, {"R5\r"}, 5, 2, 20},
    {"DL4", 1020, 3, En::kOff, En::kOff, En::kOff, En::kOn, En::kOn, {"R6\r"}, 6, 2, 20},
    {"ratio", 1030, 0, En::kOn, En::kOn, En::kOn, En::kByTest, En::kOn, {"A1\r"}, 10, 3, 20},
    {"tachometer", 1031, 0, En::kOff, En::kOn, En::kOff, En::kOff, En::kOff, {"H\r"}, 11, 4, 20},
    {"duty cycle", 1032, 0, En::kOn, En::kOff, En::kOn, En::kOn, En::kOff, {"S\r"}, 12, 5, 40},
    {"count", 1091, 0, En::kOff, En::kOff, En::kOff, En::kByTest, En::kOff, {"R7\r"}, 7, 6, 20},
};

void SetTest(CommandBench& b, int on) {
  b.h.panel.testMeasureToggle = on;
  b.h.window.SetCheck(1025, on);
}

TEST(Modes, EnablingFramesAndState) {
  for (const ModeRow& row : kModes) {
    for (int test : {0, 1}) {
      SCOPED_TRACE(std::string(row.name) + (test != 0 ? ", test on" : ", test off"));
      CommandBench b;
      SetTest(b, test);
      b.h.state.activeChannel = 1;
      b.h.state.durationChoice = row.durationChoice;
      b.h.state.measurementArmed = 1;
      b.StepCalibrationUnsaved();
      // Every control starts the other way round, so "left as it was" shows.
      std::map<int, bool> want{{1013, Expected(row.a, test)},
                               {1014, Expected(row.b, test)},
                               {1015, Expected(row.c, test)},
                               {1109, false}};
      for (int id : kTimestamps) want[id] = Expected(row.timestamps, test);
      for (int id : kGates) want[id] = Expected(row.gates, test);
      for (const auto& [id, on] : want) b.h.window.EnableControl(id, !on);

      b.h.window.Click(row.radio);

      for (const auto& [id, on] : want) EXPECT_EQ(b.Enabled(id), on) << id;
      EXPECT_EQ(b.Frames(), row.frames);
      for (bool running : b.timerRunningAtWrite) EXPECT_FALSE(running);
      EXPECT_EQ(b.h.state.measureMode, row.measureMode);
      EXPECT_EQ(b.h.panel.modeRadio, row.modeRadio);
      EXPECT_EQ(b.h.state.measurementArmed, 0u);
      EXPECT_EQ(b.h.state.calibrationMode, 0u);
      EXPECT_TRUE(b.CalibrationReverted());
      EXPECT_EQ(b.LastPeriod(), row.period);
      EXPECT_TRUE(b.TimerRunning());
    }
  }
}

struct ChannelRow {
  const char* name;
  int radio;
  std::vector<int> modesOn, modesOff;  // mode radios and Memory 1050
  bool inputsOn;
  std::string frame;
  std::uint32_t channel;
  int channelRadio;
  unsigned period;
  std::uint32_t readback;
};

const std::vector<ChannelRow> kChannels = {
    {"A",
     1013,
     {1016, 1019, 1020, 1030, 1031, 1032, 1091, 1113, 1050},
     {},
     true,
     "K1\r",
     1,
     0,
     40,
     1},
    {"B",
     1014,
     {1016, 1030, 1113},
     {1019, 1020, 1031, 1032, 1091, 1050},
     false,
     "K2\r",
     2,
     1,
     20,
     0},
    {"C",
     1015,
     {1016, 1019, 1020, 1030, 1031, 1032, 1091, 1113, 1050},
     {},
     true,
     "K3\r",
     4,
     2,
     40,
     1},
};

TEST(Channels, EnablingFramesAndState) {
  for (const ChannelRow& row : kChannels) {
    SCOPED_TRACE(row.name);
    CommandBench b;
    b.h.state.configRequested = 0;
    b.h.state.measurementArmed = 1;
    b.StepCalibrationUnsaved();
    b.h.window.SetText(1053, "old");
    std::map<int, bool> want;
    for (int id : row.modesOn) want[id] = true;
    for (int id : row.modesOff) want[id] = false;
    for (int id : kInputs) want[id] = row.inputsOn;
    for (const auto& [id, on] : want) b.h.window.EnableControl(id, !on);

    b.h.window.Click(row.radio);

    for (const auto& [id, on] : want) EXPECT_EQ(b.Enabled(id), on) << id;
    EXPECT_EQ(b.Frames(), std::vector<std::string>{row.frame});
    EXPECT_EQ(b.timerRunningAtWrite, std::vector<bool>{false});
    EXPECT_EQ(b.h.state.activeChannel, row.channel);
    EXPECT_EQ(b.h.panel.channelRadio, row.channelRadio);
    EXPECT_EQ(b.Message(), kMessageBlank);
    EXPECT_EQ(b.h.state.configRequested, row.readback);
    EXPECT_EQ(b.h.state.measurementArmed, 0u);
    EXPECT_EQ(b.h.state.calibrationMode, 0u);
    EXPECT_TRUE(b.CalibrationReverted());
    EXPECT_EQ(b.LastPeriod(), row.period);
    EXPECT_TRUE(b.h.window.modalTemplates.empty());
  }
}

TEST(Channels, TimestampsByModeAndTest) {
  // A and C: by test in frequency, on in period and DL1, else as they were.
  // B: by test whatever the mode.
  const struct {
    int radio;
    std::uint32_t mode;
    int test;
    bool before, after;
  } cases[] = {
      {1013, 1, 0, true, false},   {1013, 1, 1, false, true},  {1013, 2, 0, false, true},
      {1013, 3, 0, false, true},   {1013, 4, 0, false, false}, {1013, 4, 1, true, true},
      {1013, 11, 1, false, false}, {1015, 1, 0, true, false},  {1015, 1, 1, false, true},
      {1015, 2, 0, false, true},   {1015, 3, 0, false, true},  {1015, 12, 0, true, true},
      {1015, 7, 1, false, false},  {1014, 2, 0, true, false},  {1014, 4, 1, false, true},
      {1014, 11, 0, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.radio << " mode " << c.mode << " test " << c.test);
    CommandBench b;
    b.h.state.measureMode = c.mode;
    SetTest(b, c.test);
    for (int id : kTimestamps) b.h.window.EnableControl(id, c.before);
    b.h.window.Click(c.radio);
    for (int id : kTimestamps) EXPECT_EQ(b.Enabled(id), c.after) << id;
  }
}

TEST(Channels, AAndCShowTheirOwnInputSettings) {
  CommandBench b;
  b.h.state.inputA = InputSettings{0, 1, 1, 1, 0};
  b.h.state.inputC = InputSettings{1, 0, 0, 0, 1};
  const struct {
    int radio;
    int impedance, coupling, attenuator, filter, slope;
  } cases[] = {{1013, 0, 1, 1, 1, 0}, {1015, 1, 0, 0, 0, 1}, {1013, 0, 1, 1, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.radio);
    b.h.window.Click(c.radio);
    EXPECT_EQ(b.h.window.ListGetCurSel(1069), c.impedance);
    EXPECT_EQ(b.h.window.ListGetCurSel(1070), c.coupling);
    EXPECT_EQ(b.h.window.ListGetCurSel(1071), c.attenuator);
    EXPECT_EQ(b.Checked(1073), c.filter);
    EXPECT_EQ(b.Checked(1095), c.slope);
  }
}

TEST(Channels, RefusedInDl4) {
  const struct {
    int radio;
    std::uint32_t channel;
    bool inputsOn;
    std::uint32_t readback;
    unsigned period;
  } cases[] = {{1013, 1, true, 1, 40}, {1014, 2, false, 0, 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.radio);
    CommandBench b;
    b.h.state.measureMode = 6;
    b.h.state.activeChannel = 4;
    b.h.state.configRequested = 0;
    b.SetEnabled({1013, 1014, 1091}, false);
    b.SetEnabled({1069, 1070, 1071, 1073, 1095}, !c.inputsOn);
    b.h.window.Click(c.radio);
    EXPECT_TRUE(b.Frames().empty());
    EXPECT_EQ(b.Message(), kSwitchToC);
    EXPECT_EQ(b.h.state.activeChannel, c.channel);
    for (int id : kInputs) EXPECT_EQ(b.Enabled(id), c.inputsOn) << id;
    EXPECT_FALSE(b.Enabled(1091));  // the mode radios are not given back
    EXPECT_EQ(b.h.state.configRequested, c.readback);
    EXPECT_EQ(b.LastPeriod(), c.period);
    EXPECT_TRUE(b.h.window.modalTemplates.empty());
  }
  // A readback that reported DL4 left A enabled: pressing it changes nothing
  // on the instrument.
}

TEST(Channels, InRatioModeTheRatioDialogFollowsTheChannelFrame) {
  const struct {
    int radio;
    std::vector<std::string> frames;
  } cases[] = {
      {1013, {"K1\r", "A1\r"}},
      {1014, {"K2\r"}},  // A/C does not suit channel B: the dialog says so
      {1015, {"K3\r", "A1\r"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.radio);
    CommandBench b;
    b.h.state.measureMode = 10;
    std::string lastFrameWhenOpened;
    b.h.window.QueueModal(
        [&](FakeWindow&, CDialog&) { lastFrameWhenOpened = b.h.ports.writes.back().Text(); });
    b.h.window.Click(c.radio);
    EXPECT_EQ(b.h.window.modalTemplates, std::vector<int>{144});
    EXPECT_EQ(lastFrameWhenOpened, c.frames.back());
    EXPECT_EQ(b.Frames(), c.frames);
  }
}

TEST(Modes, PeriodLeavesChannelBInForce) {
  CommandBench b;
  b.h.window.Click(1014);
  b.Frames();
  b.h.window.Click(1019);
  EXPECT_EQ(b.Frames(), std::vector<std::string>{"R2\r"});
  EXPECT_FALSE(b.Enabled(1014));
  EXPECT_EQ(b.h.state.activeChannel, 2u);
}

TEST(Modes, RatioDialogRunsUnderTheOldModeWithTheTimerStopped) {
  CommandBench b;
  b.h.state.measureMode = 2;
  b.h.state.activeChannel = 4;
  std::uint32_t modeInDialog = 0;
  bool timerInDialog = true;
  b.h.window.QueueModal([&](FakeWindow&, CDialog&) {
    modeInDialog = b.h.state.measureMode;
    timerInDialog = b.TimerRunning();
  });
  b.h.window.Click(1030);
  EXPECT_EQ(modeInDialog, 2u);
  EXPECT_FALSE(timerInDialog);
  EXPECT_EQ(b.h.window.modalTemplates, std::vector<int>{144});
  EXPECT_EQ(b.h.state.measureMode, 10u);
}

TEST(Modes, CountMessageAndTimerWhicheverButtonClosesTheDialog) {
  for (int closer : {IDOK, IDCANCEL}) {
    SCOPED_TRACE(closer);
    CommandBench b;
    b.h.state.countChoice = 1;
    bool timerInDialog = true;
    b.h.window.QueueModal([&](FakeWindow& dw, CDialog&) {
      timerInDialog = b.TimerRunning();
      dw.Click(closer);
    });
    b.h.window.Click(1091);
    EXPECT_FALSE(timerInDialog);
    EXPECT_EQ(b.h.window.modalTemplates, std::vector<int>{148});
    EXPECT_EQ(b.Frames(), std::vector<std::string>{"R8\r"});
    EXPECT_EQ(b.h.state.measureMode, 8u);
    EXPECT_EQ(b.Message(), kCountMessage);
    EXPECT_TRUE(b.TimerRunning());
    EXPECT_EQ(b.LastPeriod(), 20u);
  }
}

TEST(Modes, DurationDialogChoiceMadeByTheUser) {
  CommandBench b;
  b.h.window.QueueModal([](FakeWindow& dw, CDialog&) { dw.SelectEntry(1069, 3); });
  b.h.window.Click(1020);
  EXPECT_EQ(b.Frames(), (std::vector<std::string>{"R3\r", "R6\r"}));
  EXPECT_EQ(b.h.state.measureMode, 6u);
  EXPECT_EQ(b.h.state.activeChannel, 4u);
}

TEST(Modes, SettlePauseAfterTheDurationDialog) {
  CommandBench b;
  std::uint64_t closedAt = 0;
  b.h.window.QueueModal([&](FakeWindow&, CDialog&) { closedAt = b.h.clock.now; });
  b.h.window.Click(1020);
  EXPECT_EQ(b.h.clock.sleeps, std::vector<std::uint32_t>{200});
  EXPECT_EQ(b.h.clock.now - closedAt, 200u);
}

TEST(Modes, Dl4MakesCActiveWithoutAChannelFrame) {
  for (int memory : {0, 1}) {
    SCOPED_TRACE(memory);
    CommandBench b;
    b.h.state.activeChannel = 1;
    b.h.state.durationChoice = 3;
    b.h.state.memoryUsed = static_cast<std::uint32_t>(memory);
    b.h.panel.memoryToggle = memory;
    b.h.window.SetCheck(1050, memory);
    b.h.window.Click(1020);
    const std::vector<std::string> frames =
        memory != 0 ? std::vector<std::string>{"R6\r", "P1\r"} : std::vector<std::string>{"R6\r"};
    EXPECT_EQ(b.Frames(), frames);
    EXPECT_EQ(b.h.state.memoryUsed, 0u);
    EXPECT_EQ(b.Checked(1050), 0);
    EXPECT_EQ(b.h.state.activeChannel, 4u);
    EXPECT_EQ(b.h.panel.channelRadio, 2);
  }
}

TEST(Modes, MemoryIsSwitchedOffBeforeTachometerAndDutyCycle) {
  const struct {
    int radio;
    std::string frame;
  } cases[] = {{1031, "H\r"}, {1032, "S\r"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frame);
    CommandBench b;
    // On and off again: the memory counts as used all the same.
    b.h.window.Click(1050);
    b.h.window.Click(1050);
    EXPECT_EQ(b.Frames(), (std::vector<std::string>{"P2\r", "P1\r"}));
    b.h.window.Click(c.radio);
    EXPECT_EQ(b.Frames(), (std::vector<std::string>{"P1\r", c.frame}));
    const auto& w = b.h.ports.writes;
    EXPECT_EQ(w[w.size() - 1].at - w[w.size() - 2].at, 200u);
    EXPECT_EQ(b.h.state.memoryUsed, 0u);
    EXPECT_EQ(b.Checked(1050), 0);

    CommandBench unused;
    unused.h.window.Click(c.radio);
    EXPECT_EQ(unused.Frames(), std::vector<std::string>{c.frame});
  }
}

TEST(Modes, CountAndDurationDialogsLiveForTheWholeRun) {
  CommandBench b;
  const struct {
    int radio;
    const CDialog* dialog;
  } cases[] = {
      {1091, &b.h.panel.CountDialog()},
      {1020, &b.h.panel.DurationDialog()},
      {1091, &b.h.panel.CountDialog()},
      {1020, &b.h.panel.DurationDialog()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.radio);
    const CDialog* opened = nullptr;
    b.h.window.QueueModal([&](FakeWindow&, CDialog& d) { opened = &d; });
    b.h.window.Click(c.radio);
    EXPECT_EQ(opened, c.dialog);
  }
}

TEST(Modes, TachometerLeavesTheMessageAloneWhenAcknowledged) {
  CommandBench b;
  b.h.window.SetText(1053, "earlier");
  b.h.window.Click(1031);
  EXPECT_EQ(b.Message(), "earlier");
}

TEST(SetupFailures, TextsOfASilentInstrument) {
  const struct {
    const char* name;
    int radio;
    std::uint32_t memoryUsed;
    std::vector<std::string> texts;  // every text written into 1053
    int durationChoice = 0;
  } cases[] = {
      {"A", 1013, 0, {kMessageBlank, NoReply(5)}},
      {"B", 1014, 0, {kMessageBlank, NoReply(8)}},
      {"C", 1015, 0, {kMessageBlank, NoReply(4)}},
      {"f", 1016, 0, {kMessageBlank, NoReply(6)}},
      {"T", 1019, 0, {kMessageBlank, NoReply(5)}},
      {"tachometer", 1031, 0, {NoReply(6)}},
      {"tachometer, memory", 1031, 1, {NoReply(2), NoReply(6)}},
      {"duty cycle", 1032, 0, {kMessageBlank, NoReply(7)}},
      {"duty cycle, memory", 1032, 1, {NoReply(2), kMessageBlank, NoReply(7)}},
      {"auto", 1066, 0, {NoReply(5)}},
      {"test", 1025, 0, {kMessageBlank, NoUsb(3)}},
      {"memory", 1050, 0, {NoReply(2)}},
      // The mode dialogs keep their silence to themselves.
      {"DL1", 1020, 1, {}},
      {"DL4, memory", 1020, 1, {NoReply(2)}, 3},
      {"ratio", 1030, 0, {}},
      {"count", 1091, 0, {kCountMessage}},
      {"single shot, written", 1067, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandBench b;
    b.h.state.memoryUsed = c.memoryUsed;
    b.h.state.durationChoice = c.durationChoice;
    b.h.state.activeChannel = 1;
    b.Silent();
    b.h.window.Click(c.radio);
    EXPECT_EQ(b.h.window.TextsOf(1053), c.texts);
    EXPECT_TRUE(b.TimerRunning());
  }
}

}  // namespace
}  // namespace kolvane::test
