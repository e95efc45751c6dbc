#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/behaviour/inputs_fixture.h"

namespace kolvane::test {
namespace {

constexpr std::uint32_t kA = 1, kB = 2, kC = 4;

class InputSettingsTest : public StartedPanel {};

// ---- Lists: frame per entry, stored in the active channel's record ----

struct ListCase {
  const char* name;
  int listId;
  int index;
  std::uint32_t channel;
  const char* frame;
  std::int32_t InputSettings::*field;
};

const ListCase kListCases[] = {
    {"impedance 1M on A", 1069, 1, kA, "V2\r", &InputSettings::impedance},
    {"impedance 50 on C", 1069, 0, kC, "V1\r", &InputSettings::impedance},
    {"coupling AC on A", 1070, 1, kA, "V6\r", &InputSettings::coupling},
    {"coupling DC on C", 1070, 0, kC, "V5\r", &InputSettings::coupling},
    {"attenuator 1:10 on C", 1071, 1, kC, "V3\r", &InputSettings::attenuator},
    {"attenuator 1:1 on C", 1071, 0, kC, "V4\r", &InputSettings::attenuator},
    {"attenuator 1:1 on A", 1071, 0, kA, "V4\r", &InputSettings::attenuator},
};

TEST_F(InputSettingsTest, ListEntrySendsItsFrameAndStoresInActiveChannel) {
  for (const ListCase& c : kListCases) {
    SCOPED_TRACE(c.name);
    // Start from the opposite value so that a store is visible.
    h.state.inputA.*c.field = 1 - c.index;
    h.state.inputC.*c.field = 1 - c.index;
    h.state.activeChannel = c.channel;
    h.window.SelectEntry(c.listId, c.index);

    EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{c.frame});
    const InputSettings& active = c.channel == kA ? h.state.inputA : h.state.inputC;
    const InputSettings& other = c.channel == kA ? h.state.inputC : h.state.inputA;
    EXPECT_EQ(active.*c.field, c.index);
    EXPECT_EQ(other.*c.field, 1 - c.index);
    EXPECT_EQ(h.Message(), Blanked(36));
  }
}

TEST_F(InputSettingsTest, GeneratorSendsItsFrameWhateverTheChannel) {
  struct Case {
    std::uint32_t channel;
    int index;
    const char* frame;
  };
  for (const Case& c : {Case{kA, 1, "I3\r"}, Case{kB, 0, "I2\r"}, Case{0, 1, "I3\r"}}) {
    SCOPED_TRACE(c.frame);
    h.state.activeChannel = c.channel;
    h.window.SelectEntry(1056, c.index);
    EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{c.frame});
    EXPECT_EQ(h.state.inputA, InputSettings{});
    EXPECT_EQ(h.state.inputC, InputSettings{});
  }
}

// ---- Check boxes: the stored state decides, not the control ----

TEST_F(InputSettingsTest, CheckBoxesToggleTheStoredFieldPerChannel) {
  struct Case {
    const char* name;
    int box;
    std::uint32_t channel;
    std::vector<std::string> frames;  // for two clicks from the start-up state
    std::int32_t InputSettings::*field;
    int CPanelDlg::*exchangeValue;
  };
  const Case cases[] = {
      {"filter on A",
       1073,
       kA,
       {"V7\r", "V8\r"},
       &InputSettings::lowPassFilter,
       &CPanelDlg::filterCheck},
      {"filter on C",
       1073,
       kC,
       {"V7\r", "V8\r"},
       &InputSettings::lowPassFilter,
       &CPanelDlg::filterCheck},
      {"slope on A", 1095, kA, {"F1\r", "F2\r"}, &InputSettings::slope, &CPanelDlg::slopeCheck},
      {"slope on C", 1095, kC, {"F1\r", "F2\r"}, &InputSettings::slope, &CPanelDlg::slopeCheck},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.state.activeChannel = c.channel;
    InputSettings& record = c.channel == kA ? h.state.inputA : h.state.inputC;

    h.window.Click(c.box);
    EXPECT_EQ(record.*c.field, 1);
    EXPECT_EQ(h.panel.*c.exchangeValue, 1);
    h.window.Click(c.box);
    EXPECT_EQ(record.*c.field, 0);
    EXPECT_EQ(h.panel.*c.exchangeValue, 0);
    EXPECT_EQ(h.TakeFrames(), c.frames);
  }
}

TEST_F(InputSettingsTest, CheckBoxFollowsStoredStateWhenControlDisagrees) {
  // Channel C active but the controls still show channel A's settings.
  h.state.activeChannel = kC;
  h.state.inputC.lowPassFilter = 1;
  h.window.Click(1073);  // the control goes from unchecked to checked
  EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{"V8\r"});
  EXPECT_EQ(h.state.inputC.lowPassFilter, 0);
  EXPECT_EQ(h.panel.filterCheck, 0);
  EXPECT_EQ(h.state.inputA.lowPassFilter, 0);
}

// ---- Without channel A or C nothing is stored or sent ----

TEST_F(InputSettingsTest, InputControlsDoNothingWithoutChannelAOrC) {
  const std::vector<std::pair<const char*, std::function<void(FakeWindow&)>>> actions = {
      {"1069", [](FakeWindow& w) { w.SelectEntry(1069, 0); }},
      {"1070", [](FakeWindow& w) { w.SelectEntry(1070, 1); }},
      {"1071", [](FakeWindow& w) { w.SelectEntry(1071, 1); }},
      {"1073", [](FakeWindow& w) { w.Click(1073); }},
      {"1095", [](FakeWindow& w) { w.Click(1095); }},
  };
  for (std::uint32_t channel : {0u, kB}) {
    for (const auto& [name, act] : actions) {
      SCOPED_TRACE(std::string(name) + " channel " + std::to_string(channel));
      h.state.activeChannel = channel;
      h.window.timers.clear();
      act(h.window);
      EXPECT_TRUE(h.TakeFrames().empty());
      EXPECT_EQ(h.state.inputA, InputSettings{});
      EXPECT_EQ(h.state.inputC, InputSettings{});
      EXPECT_EQ(h.window.timers.at(1).period, 20u);
    }
  }
  EXPECT_EQ(h.panel.filterCheck, 0);
  EXPECT_EQ(h.panel.slopeCheck, 0);
}

TEST_F(InputSettingsTest, StartSourceSendsNothing) {
  h.state.activeChannel = kA;
  h.state.calibrationMode = 1;
  h.state.measurementArmed = 1;
  h.window.SetText(1053, "old");
  const std::size_t kills = h.window.timerKills.size();
  h.window.SelectEntry(1114, 1);
  EXPECT_TRUE(h.TakeFrames().empty());
  EXPECT_EQ(h.Message(), Blanked(36));
  EXPECT_EQ(h.state.calibrationMode, 0u);
  EXPECT_EQ(h.state.measurementArmed, 0u);
  EXPECT_EQ(h.window.timerKills.size(), kills + 1);
  EXPECT_EQ(h.window.timerStarts.back(), std::make_pair(1u, 20u));
}

// ---- What every handler does around its frame ----

struct AroundCase {
  const char* name;
  std::function<void(FakeWindow&)> act;
  bool clearsMessage;
  bool revertsCalibration;
};

const AroundCase kAroundCases[] = {
    {"1069", [](FakeWindow& w) { w.SelectEntry(1069, 1); }, true, true},
    {"1070", [](FakeWindow& w) { w.SelectEntry(1070, 1); }, true, true},
    {"1071", [](FakeWindow& w) { w.SelectEntry(1071, 1); }, true, true},
    {"1073", [](FakeWindow& w) { w.Click(1073); }, false, true},
    {"1095", [](FakeWindow& w) { w.Click(1095); }, false, true},
    {"1056", [](FakeWindow& w) { w.SelectEntry(1056, 1); }, true, false},
    {"1114", [](FakeWindow& w) { w.SelectEntry(1114, 1); }, true, false},
};

TEST_F(InputSettingsTest, HandlersLeaveCalibrationAndDisarm) {
  for (const AroundCase& c : kAroundCases) {
    SCOPED_TRACE(c.name);
    h.state.activeChannel = kA;
    h.state.calibrationMode = 1;
    h.state.measurementArmed = 1;
    h.state.calibrationCode = 100;
    // An unsaved calibration step on the spin.
    h.window.SpinSetPos(1108, 140);
    h.window.SetText(1106, "  140");
    h.window.SetText(1053, "earlier text");

    c.act(h.window);

    EXPECT_EQ(h.state.calibrationMode, 0u);
    EXPECT_EQ(h.state.measurementArmed, 0u);
    EXPECT_EQ(h.window.SpinGetPos(1108), c.revertsCalibration ? 100 : 140);
    EXPECT_EQ(h.window.GetText(1106), c.revertsCalibration ? "  100" : "  140");
    EXPECT_EQ(h.Message(), c.clearsMessage ? Blanked(36) : "earlier text");
    EXPECT_EQ(h.window.timers.at(1).period, 20u);
  }
}

TEST_F(InputSettingsTest, SilentInstrumentShowsEachHandlersOwnText) {
  struct Case {
    const char* name;
    std::function<void(FakeWindow&)> act;
    std::size_t blanks;
  };
  const Case cases[] = {
      {"1069", [](FakeWindow& w) { w.SelectEntry(1069, 1); }, 4},
      {"1070", [](FakeWindow& w) { w.SelectEntry(1070, 1); }, 2},
      {"1071 1:1", [](FakeWindow& w) { w.SelectEntry(1071, 0); }, 2},
      {"1073", [](FakeWindow& w) { w.Click(1073); }, 2},
      {"1095", [](FakeWindow& w) { w.Click(1095); }, 1},
      {"1056", [](FakeWindow& w) { w.SelectEntry(1056, 0); }, 2},
  };
  Silent();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.state.activeChannel = kC;
    // One read, then a second one only because nothing came.
    EXPECT_EQ(Elapsed([&] { c.act(h.window); }), 2000u);
    EXPECT_EQ(h.Message(), "Нет отклика от прибора" + Blanked(c.blanks));
    EXPECT_EQ(h.TakeFrames().size(), 1u);
  }
  // Nothing is rolled back after a missing answer.
  EXPECT_EQ(h.state.inputC, (InputSettings{1, 1, 0, 1, 1}));
}

TEST_F(InputSettingsTest, AnyReplyByteIsAnAcknowledgement) {
  for (const std::string reply : {"\r", "X"}) {
    SCOPED_TRACE(reply);
    AnswerWith([reply](const std::string&) { return reply; });
    h.state.activeChannel = kA;
    h.window.SetText(1053, "earlier text");
    const std::size_t reads = h.ports.reads.size();
    h.window.Click(1095);
    EXPECT_EQ(h.ports.reads.size(), reads + 1);
    EXPECT_EQ(h.Message(), "earlier text");
  }
}

// ---- Per-channel records across a channel change ----

TEST_F(InputSettingsTest, RecordsAreKeptPerChannel) {
  h.state.activeChannel = kA;
  h.window.SelectEntry(1069, 1);
  h.window.Click(1095);
  h.state.activeChannel = kC;
  h.window.SelectEntry(1071, 1);
  EXPECT_EQ(h.TakeFrames(), (std::vector<std::string>{"V2\r", "F1\r", "V3\r"}));
  EXPECT_EQ(h.state.inputA, (InputSettings{1, 0, 0, 0, 1}));
  EXPECT_EQ(h.state.inputC, (InputSettings{0, 0, 1, 0, 0}));
}

}  // namespace
}  // namespace kolvane::test
