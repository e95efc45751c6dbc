#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/behaviour/inputs_fixture.h"

namespace kolvane::test {
namespace {

constexpr std::uint32_t kA = 1, kB = 2, kC = 4;

std::string Frame(char letter, int byte) {
  return std::string{letter, static_cast<char>(byte), '\r'};
}

const std::string kNoUsb = "Нет передачи данных по USB    ";

class LevelTest : public StartedPanel {};
class CalibrationTest : public StartedPanel {};

// ---- Level spin ----

TEST_F(LevelTest, OneClickSendsThePositionForBothNotifications) {
  for (std::uint32_t channel : {kA, kC}) {
    SCOPED_TRACE(channel);
    h.window.SpinSetPos(1105, 64);
    h.state.activeChannel = channel;
    h.window.SpinClick(1105, true);
    EXPECT_EQ(h.window.SpinGetPos(1105), 65);
    EXPECT_EQ(h.window.GetText(1104), " 8");
    EXPECT_EQ(h.TakeFrames(), (std::vector<std::string>{Frame('L', 65), Frame('L', 65)}));
    EXPECT_EQ(h.window.timers.at(1).period, 20u);
  }
}

TEST_F(LevelTest, ShownLevelIsEightTimesPositionLess512) {
  struct Case {
    int from;
    bool up;
    int pos;
    const char* text;
  };
  const Case cases[] = {
      {1, false, 0, " -512"},   {126, true, 127, " 504"}, {65, false, 64, " 0"},
      {127, true, 127, " 504"},  // at the top the spin stays and sends again
      {12, true, 13, " -408"},   // a position equal to CR is still one byte
  };
  h.state.activeChannel = kA;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    h.window.SpinSetPos(1105, c.from);
    h.window.SpinClick(1105, c.up);
    EXPECT_EQ(h.window.GetText(1104), c.text);
    const auto frames = h.TakeFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], Frame('L', c.pos));
    EXPECT_EQ(frames[0].size(), 3u);
  }
}

TEST_F(LevelTest, WithoutChannelAOrCTheSpinOnlyMoves) {
  for (std::uint32_t channel : {0u, kB}) {
    SCOPED_TRACE(channel);
    h.state.activeChannel = channel;
    h.window.SetText(1053, "earlier text");
    h.window.SpinClick(1105, false);
    EXPECT_TRUE(h.TakeFrames().empty());
    EXPECT_EQ(h.window.GetText(1104), " 0");
    EXPECT_EQ(h.Message(), Blanked(36));
    EXPECT_EQ(h.window.timers.at(1).period, 20u);
  }
  EXPECT_EQ(h.window.SpinGetPos(1105), 62);
}

TEST_F(LevelTest, TestStateRefusesTheStep) {
  h.state.activeChannel = kA;
  h.panel.testMeasureToggle = 1;
  const std::uint64_t took = Elapsed([&] { h.window.SpinClick(1105, true); });
  EXPECT_EQ(took, 2000u);  // refused once per notification
  EXPECT_EQ(h.clock.sleeps, (std::vector<std::uint32_t>{1000, 1000}));
  EXPECT_EQ(h.Message(), "Включите измерение");
  EXPECT_TRUE(h.TakeFrames().empty());
  EXPECT_EQ(h.window.SpinGetPos(1105), 65);
  EXPECT_EQ(h.window.GetText(1104), " 0");
}

TEST_F(LevelTest, AcknowledgementWantsACrWithinThreeBytes) {
  struct Case {
    const char* reply;
    bool ok;
    std::uint64_t took;  // for one notification
  };
  const Case cases[] = {
      {"\r", true, 0},
      {"XY\r", true, 0},  // stray bytes before the CR
      {"XYZ", false, 0},
      {"", false, 3000},
  };
  h.state.activeChannel = kA;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    AnswerWith([&c](const std::string&) { return std::string(c.reply); });
    h.window.SetText(1053, "earlier text");
    const std::uint64_t took = Elapsed([&] { h.window.SpinClick(1105, true); });
    EXPECT_EQ(took, 2 * c.took);
    EXPECT_EQ(h.Message(), c.ok ? Blanked(36) : kNoUsb);
  }
}

TEST_F(LevelTest, ChannelCPushesTheExchangeValuesForEitherSpin) {
  struct Case {
    std::uint32_t channel;
    int spin;
    bool pushed;
  };
  const Case cases[] = {
      {kC, 1105, true}, {kC, 1108, true}, {kA, 1105, false}, {kA, 1108, false}, {kB, 1105, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.channel) + " " + std::to_string(c.spin));
    h.state.activeChannel = c.channel;
    h.window.SetCheck(1016, 1);
    h.window.SetCheck(1031, 0);
    h.panel.modeRadio = 4;  // tachometer, 1031
    h.window.SpinClick(c.spin, true);
    EXPECT_EQ(h.window.GetCheck(1031), c.pushed ? 1 : 0);
    EXPECT_EQ(h.window.GetCheck(1016), c.pushed ? 0 : 1);
  }
}

TEST_F(LevelTest, ResetPutsTheLevelAtTheMiddle) {
  h.state.activeChannel = kC;
  h.window.SpinSetPos(1105, 90);
  h.window.SetFont(1104, FontSpec{});
  h.window.Click(1111);
  EXPECT_EQ(h.window.SpinGetPos(1105), 64);
  EXPECT_EQ(h.window.GetText(1104), " 0");
  EXPECT_EQ(h.window.Get(1104).font, h.panel.spinTextFont);
  EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{Frame('L', 64)});
  EXPECT_EQ(h.Message(), Blanked(36));
  EXPECT_EQ(h.window.timers.at(1).period, 20u);
}

TEST_F(LevelTest, ResetWithoutChannelAOrCDoesNothing) {
  for (std::uint32_t channel : {0u, kB}) {
    h.state.activeChannel = channel;
    h.window.SpinSetPos(1105, 90);
    h.window.Click(1111);
    EXPECT_EQ(h.window.SpinGetPos(1105), 90);
    EXPECT_TRUE(h.TakeFrames().empty());
  }
}

TEST_F(LevelTest, ResetReadsTwiceAtMostAndKeepsCalibration) {
  h.state.activeChannel = kA;
  h.state.calibrationMode = 1;
  h.window.SpinSetPos(1108, 150);
  Silent();
  EXPECT_EQ(Elapsed([&] { h.window.Click(1111); }), 2000u);
  EXPECT_EQ(h.Message(), kNoUsb);
  EXPECT_EQ(h.state.calibrationMode, 1u);
  EXPECT_EQ(h.window.SpinGetPos(1108), 150);
}

// ---- Calibration ----

TEST_F(CalibrationTest, OutsideCalibrationModeTheSpinOnlyMovesUntilReverted) {
  h.state.activeChannel = kA;
  h.window.SpinClick(1108, true);
  h.window.SpinClick(1108, true);
  EXPECT_TRUE(h.TakeFrames().empty());
  EXPECT_EQ(h.window.SpinGetPos(1108), 129);
  EXPECT_EQ(h.window.GetText(1106), "  127");

  h.window.SelectEntry(1070, 1);
  EXPECT_EQ(h.window.SpinGetPos(1108), 127);
  EXPECT_EQ(h.window.GetText(1106), "  127");
}

TEST_F(CalibrationTest, EnteringSendsThePositionAfterASettlePause) {
  h.window.EnableControl(1109, false);
  h.state.measureMode = 2;
  h.window.Click(1113);

  EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{Frame('Y', 127)});
  EXPECT_EQ(h.clock.sleeps, std::vector<std::uint32_t>{10});
  ASSERT_FALSE(h.ports.reads.empty());
  EXPECT_EQ(h.ports.reads.back().at - h.ports.writes.back().at, 10u);
  EXPECT_EQ(h.state.calibrationMode, 1u);
  EXPECT_TRUE(h.window.IsControlEnabled(1109));
  EXPECT_EQ(h.panel.modeRadio, 7);
  EXPECT_EQ(h.state.measureMode, 2u);
  EXPECT_EQ(h.window.timers.at(1).period, 20u);
}

TEST_F(CalibrationTest, FirstEntryRemembersTheSpinAsItIs) {
  h.state.activeChannel = kA;
  // Stepped before calibration mode: nothing sent, but the spin shows 130.
  for (int i = 0; i < 3; ++i) h.window.SpinClick(1108, true);
  h.window.Click(1113);
  EXPECT_EQ(h.state.calibrationCode, 130);
  EXPECT_EQ(h.state.calibrationUntouched, 0u);

  // Steps in calibration mode, then left unsaved: back to 130.
  h.window.SpinClick(1108, true);
  h.window.Click(1113);  // a second entry does not move the saved value
  EXPECT_EQ(h.state.calibrationCode, 130);
  h.window.Click(1073);
  EXPECT_EQ(h.window.SpinGetPos(1108), 130);
  EXPECT_EQ(h.window.GetText(1106), "  130");
}

TEST_F(CalibrationTest, FirstEntryAtTheBottomKeepsZero) {
  h.window.SpinSetPos(1108, 0);
  h.window.Click(1113);
  EXPECT_EQ(h.state.calibrationCode, 0);
  EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{Frame('Y', 0)});
}

TEST_F(CalibrationTest, StepsInCalibrationModeSendTheNewPosition) {
  h.window.Click(1113);
  h.TakeFrames();
  h.window.SpinClick(1108, true);
  h.window.SpinClick(1108, false);
  h.window.SpinClick(1108, false);
  EXPECT_EQ(h.TakeFrames(),
            (std::vector<std::string>{Frame('Y', 128), Frame('Y', 128), Frame('Y', 127),
                                      Frame('Y', 127), Frame('Y', 126), Frame('Y', 126)}));
  EXPECT_EQ(h.window.GetText(1106), "  126");
}

TEST_F(CalibrationTest, SilentInstrumentInCalibration) {
  Silent();
  EXPECT_EQ(Elapsed([&] { h.window.Click(1113); }), 10u + 3000u);
  EXPECT_EQ(h.Message(), kNoUsb);
  EXPECT_EQ(h.state.calibrationMode, 1u);
  h.window.SetText(1053, "");
  EXPECT_EQ(Elapsed([&] { h.window.SpinClick(1108, true); }), 6000u);
  EXPECT_EQ(h.Message(), kNoUsb);
  EXPECT_EQ(h.window.GetText(1106), "  128");
}

TEST_F(CalibrationTest, SaveStoresTheValueAndReturnsToFrequency) {
  for (int testState : {0, 1}) {
    SCOPED_TRACE(testState);
    // The test state as the Test/Measure button and its value hold it.
    h.window.SetCheck(1025, testState);
    h.panel.testMeasureToggle = testState;
    h.window.Click(1113);
    h.window.SpinClick(1108, true);
    const int pos = h.window.SpinGetPos(1108);
    for (int id : {1013, 1014, 1015, 1006, 1010, 1016, 1001, 1005}) {
      h.window.EnableControl(id, false);
    }
    h.state.measurementArmed = 1;
    h.window.Control(1000).progressPos = 7;
    h.TakeFrames();
    h.clock.sleeps.clear();

    h.window.Click(1109);

    EXPECT_EQ(h.TakeFrames(), (std::vector<std::string>{"Z\r", "R1\r"}));
    EXPECT_EQ(h.ports.writes.back().at - h.ports.writes[h.ports.writes.size() - 2].at, 200u);
    EXPECT_EQ(h.clock.sleeps, std::vector<std::uint32_t>{200});
    EXPECT_EQ(h.state.calibrationCode, pos);
    EXPECT_EQ(h.state.calibrationMode, 0u);
    EXPECT_EQ(h.state.calibrationUntouched, 0u);
    EXPECT_EQ(h.state.measureMode, 1u);
    EXPECT_EQ(h.state.measurementArmed, 0u);
    EXPECT_EQ(h.panel.modeRadio, 0);
    EXPECT_EQ(h.window.GetCheck(1016), 1);
    EXPECT_EQ(h.window.GetCheck(1113), 0);
    EXPECT_EQ(h.window.Get(1000).progressPos, 1);  // 0 clamped into 1..10
    EXPECT_EQ(h.window.progressLog.back(), 0);
    EXPECT_EQ(h.Message(), Blanked(5));
    for (int id : {1013, 1014, 1015, 1006, 1010, 1016}) EXPECT_TRUE(h.window.IsControlEnabled(id));
    for (int id : {1001, 1005}) EXPECT_EQ(h.window.IsControlEnabled(id), testState == 1);
    EXPECT_TRUE(h.window.IsControlEnabled(1109));
    EXPECT_EQ(h.window.timers.at(1).period, 20u);
  }
}

TEST_F(CalibrationTest, SaveFailureTexts) {
  struct Case {
    const char* name;
    std::string zReply;
    std::string r1Reply;
    std::string message;
  };
  const Case cases[] = {
      {"both answered", "\r", "\r", Blanked(5)},
      {"any byte saves", "X", "\r", Blanked(5)},
      {"save silent", "", "\r", "Буфер передачи пуст."},
      {"frequency refused", "\r", "XX", "Нет отклика от прибора      "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AnswerWith([&c](const std::string& frame) { return frame == "Z\r" ? c.zReply : c.r1Reply; });
    h.window.Click(1109);
    EXPECT_EQ(h.Message(), c.message);
    // The frequency frame follows even when the save went unanswered.
    EXPECT_EQ(h.TakeFrames(), (std::vector<std::string>{"Z\r", "R1\r"}));
    EXPECT_EQ(h.state.measureMode, 1u);
  }
}

TEST_F(CalibrationTest, SaveWithNoReplyAtAllTakesThreeReadsThenTwo) {
  Silent();
  // Z: 1000 + 1000 + 1 + 1000, then 200, then R1: 1000 + 1 + 1000.
  EXPECT_EQ(Elapsed([&] { h.window.Click(1109); }), 3001u + 200u + 2001u);
  EXPECT_EQ(h.Message(), "Нет отклика от прибора      ");
}

}  // namespace
}  // namespace kolvane::test
