#include <gtest/gtest.h>

#include <functional>

#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

const std::string kBadState = "Неверно получено состояние панели, нажмите кнопку <Конфигурация>.";
using State = std::vector<std::uint8_t>;
// The example state: frequency, stamp 10^-6, gate 10^-3, channel A, slope 1,
// 50 Ohm, 1:1, "=~", filter off, level 64, calibration 127, automatic.
const State kExample{0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 1, 64, 127, 0};

State With(std::initializer_list<std::pair<std::size_t, std::uint8_t>> changes) {
  State s = kExample;
  for (auto [i, v] : changes) s[i] = v;
  return s;
}

// A started panel whose instrument answers "D1" CR with the given bytes.
struct Panel : PanelHarness {
  explicit Panel(std::vector<std::pair<std::uint64_t, std::string>> reply) {
    ports.AddPort("COM1:");
    ports.OnWrite([reply](ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
      const std::string frame(f.begin(), f.end());
      if (frame == "B\r") p.Reply("N\x05");
      if (frame == "D1\r") {
        for (const auto& [delay, bytes] : reply) p.Reply(bytes, delay);
      }
    });
    Init();
    ports.reads.clear();
  }
  static std::string Reply(const State& s) { return "C" + std::string(s.begin(), s.end()); }
  bool On(int id) const { return window.IsControlEnabled(id); }
  bool Checked(int id) const { return window.GetCheck(id) != 0; }
};

void ExpectRange(const Panel& p, int first, int last, bool enabled) {
  for (int id = first; id <= last; ++id) EXPECT_EQ(p.On(id), enabled) << id;
}

struct Row {
  const char* name;
  State state;
  std::function<void(Panel&)> check;
};

const Row kRows[] = {
    {"example", kExample,
     [](Panel& p) {
       EXPECT_EQ(p.state.measureMode, 1u);
       EXPECT_EQ(p.state.timestampIndex, 2u);
       EXPECT_EQ(p.state.gateIndex, 1u);
       EXPECT_EQ(p.state.activeChannel, 1u);
       EXPECT_EQ(p.state.inputA, (InputSettings{0, 0, 0, 0, 1}));
       EXPECT_EQ(p.state.inputC, InputSettings{});
       EXPECT_TRUE(p.Checked(1016) && p.Checked(1002) && p.Checked(1006) && p.Checked(1013));
       EXPECT_TRUE(p.Checked(1066) && p.Checked(1095));
       EXPECT_FALSE(p.Checked(1073) || p.Checked(1025) || p.Checked(1050));
       for (int list : {1056, 1069, 1071, 1070}) EXPECT_EQ(p.window.ListGetCurSel(list), 0);
       EXPECT_EQ(p.window.Get(1105).spinPos, 64);
       EXPECT_EQ(p.window.GetText(1104), " 0");
       EXPECT_EQ(p.window.Get(1108).spinPos, 127);
       EXPECT_EQ(p.window.GetText(1106), "  127");
       EXPECT_EQ(p.state.calibrationCode, 127);
       EXPECT_TRUE(p.On(1066));
       ExpectRange(p, 1001, 1005, false);
       ExpectRange(p, 1006, 1010, true);
       ExpectRange(p, 1013, 1015, true);
       EXPECT_EQ(p.Message(), std::string(24, ' '));
       EXPECT_EQ(p.window.GetText(1092), std::string(20, ' '));
       EXPECT_EQ(p.window.Get(1092).font.height, 34);
     }},
    {"channel B leaves the inputs and level alone", With({{4, 2}, {12, 0}, {7, 0}}),
     [](Panel& p) {
       EXPECT_EQ(p.state.activeChannel, 2u);
       EXPECT_EQ(p.state.inputA, InputSettings{});
       EXPECT_EQ(p.window.Get(1105).spinPos, 64);
       EXPECT_EQ(p.window.ListGetCurSel(1069), 1);
       EXPECT_TRUE(p.Checked(1014));
       EXPECT_FALSE(p.On(1019) || p.On(1020));
       EXPECT_TRUE(p.On(1016));
       EXPECT_EQ(p.Message(), std::string(24, ' '));
     }},
    {"channel C, period: inputs of C, stamps on, message kept",
     With({{0, 1}, {4, 4}, {9, 0}, {11, 0}, {8, 1}, {10, 1}, {12, 127}}),
     [](Panel& p) {
       EXPECT_EQ(p.state.inputC, (InputSettings{1, 1, 1, 1, 1}));
       EXPECT_EQ(p.state.inputA, InputSettings{});
       EXPECT_TRUE(p.Checked(1015) && p.Checked(1019) && p.Checked(1073));
       EXPECT_EQ(p.window.ListGetCurSel(1071), 1);
       EXPECT_EQ(p.window.GetText(1104), " 504");
       ExpectRange(p, 1001, 1010, true);
       EXPECT_FALSE(p.On(1014));
       EXPECT_EQ(p.Message(), std::string(36, ' '));
     }},
    {"unknown channel code: no inputs, no channel rule", With({{4, 3}, {0, 2}}),
     [](Panel& p) {
       EXPECT_EQ(p.state.inputA, InputSettings{});
       EXPECT_TRUE(p.Checked(1013));  // the member kept its 0
       EXPECT_TRUE(p.Checked(1020));
       EXPECT_EQ(p.Message(), std::string(36, ' '));
     }},
    {"single shot disables Auto", With({{14, 1}}),
     [](Panel& p) {
       EXPECT_TRUE(p.Checked(1067));
       EXPECT_FALSE(p.On(1066));
       EXPECT_EQ(p.state.singleShot, 1u);  // so that Start sends "C"
     }},
    {"unknown launch code leaves the launch alone", With({{14, 2}}),
     [](Panel& p) {
       EXPECT_FALSE(p.Checked(1066) || p.Checked(1067));
       EXPECT_EQ(p.state.singleShot, 0u);
     }},
    {"tachometer disables stamps and gates", With({{0, 10}}),
     [](Panel& p) {
       EXPECT_TRUE(p.Checked(1031));
       ExpectRange(p, 1001, 1010, false);
     }},
    {"test on: frequency enables the stamps", With({{6, 1}, {5, 1}}),
     [](Panel& p) {
       EXPECT_TRUE(p.Checked(1025) && p.Checked(1050));
       ExpectRange(p, 1001, 1005, true);
     }},
    {"count variant keeps the mode radio; toggles want exactly 1", With({{0, 8}, {5, 2}, {6, 2}}),
     [](Panel& p) {
       EXPECT_EQ(p.state.measureMode, 9u);
       EXPECT_TRUE(p.Checked(1016));
       EXPECT_FALSE(p.Checked(1025) || p.Checked(1050));
     }},
    {"ratio, count and duty cycle radios", With({{0, 9}, {13, 200}, {12, 0}}),
     [](Panel& p) {
       EXPECT_TRUE(p.Checked(1030));
       ExpectRange(p, 1013, 1015, true);
       EXPECT_EQ(p.window.GetText(1106), "  200");
       EXPECT_EQ(p.state.calibrationCode, 200);
       EXPECT_EQ(p.window.GetText(1104), " -512");
     }},
    {"channel B, unknown mode code: stamps still follow test", With({{4, 2}, {0, 40}, {6, 1}}),
     [](Panel& p) {
       ExpectRange(p, 1001, 1010, true);
       EXPECT_TRUE(p.Checked(1016));  // no mode rule: the member kept its 0
     }},
    {"channel B, mode code 255, test off", With({{4, 2}, {0, 255}}),
     [](Panel& p) {
       EXPECT_EQ(p.state.measureMode, 256u);
       ExpectRange(p, 1001, 1005, false);
       ExpectRange(p, 1006, 1010, true);
     }},
    {"level byte beyond 127: the text shows the spin's top", With({{12, 200}}),
     [](Panel& p) {
       EXPECT_EQ(p.window.Get(1105).spinPos, 127);
       EXPECT_EQ(p.window.GetText(1104), " 504");
     }},
    {"count by period", With({{0, 7}}), [](Panel& p) { EXPECT_TRUE(p.Checked(1091)); }},
    {"duty cycle", With({{0, 11}}), [](Panel& p) { EXPECT_TRUE(p.Checked(1032)); }},
};

TEST(ReadBackConfiguration, AppliesStateBytes) {
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.name);
    Panel p({{0, Panel::Reply(r.state)}});
    p.state.measurementArmed = 1;
    p.state.calibrationMode = 1;
    p.Tick();
    EXPECT_EQ(p.state.measureMode, r.state[0] + 1u);
    EXPECT_EQ(p.state.configRequested, 0u);
    EXPECT_EQ(p.state.measurementArmed, 0u);
    EXPECT_EQ(p.state.calibrationMode, 0u);
    EXPECT_EQ(p.window.progressLog.back(), 0);
    EXPECT_EQ(p.ports.Pending(), 0u);
    r.check(p);
  }
}

struct Failure {
  const char* name;
  std::vector<std::pair<std::uint64_t, std::string>> reply;
  std::string message;  // empty: applied
  std::uint64_t costMs;
  std::size_t leftOnLine = 0;  // bytes the readback does not take
};

// The instrument's next result in automatic launch: frequency 12.34 kHz.
const std::string kResult{'G', 0, 0, 0x04, static_cast<char>(0xD2)};

const std::string kState = Panel::Reply(With({{0, 1}})).substr(1);
const Failure kFailures[] = {
    {"no reply", {}, kBadState + "    ", 2010},
    {"no C in two bytes", {{0, "xy"}}, kBadState + "    ", 10},
    {"C without state", {{0, "C"}}, kBadState + "  ", 2010},
    {"short state", {{0, "C" + kState.substr(0, 10)}}, kBadState + "  ", 110},
    // What follows a cut reply is not its rest: none of it is applied.
    {"short state, then results",
     {{0, "C" + kState.substr(0, 10)}, {150, kResult}, {250, kResult}},
     kBadState + "  ",
     110,
     2 * kResult.size()},
    {"state cut by a pause",
     {{0, "C" + kState.substr(0, 8)}, {400, kState.substr(8)}},
     kBadState + "  ",
     110,
     kState.size() - 8},
    {"C on the second byte", {{0, "x"}, {0, "C" + kState}}, "", 10},
    {"C late", {{1500, "C" + kState}}, "", 1500},
    {"state on the second read", {{0, "C"}, {1500, kState}}, "", 1500},
};

TEST(ReadBackConfiguration, FailuresAndLateReplies) {
  for (const Failure& f : kFailures) {
    SCOPED_TRACE(f.name);
    Panel p(f.reply);
    p.state.measurementArmed = 1;
    p.panel.timestampRadio = 3;  // pushed to the buttons on every path
    const std::uint64_t start = p.clock.now;
    p.Tick();
    EXPECT_EQ(p.clock.now - start, f.costMs);
    EXPECT_EQ(p.state.measurementArmed, 0u);
    EXPECT_EQ(p.state.configRequested, 0u);
    EXPECT_EQ(p.ports.Pending(), f.leftOnLine);
    if (f.message.empty()) {
      EXPECT_EQ(p.state.measureMode, 2u);
      EXPECT_EQ(p.Message(), std::string(24, ' '));
    } else {
      EXPECT_EQ(p.Message(), f.message);
      EXPECT_EQ(p.state.measureMode, 1u);  // as the start left it
      EXPECT_TRUE(p.Checked(1004));
      EXPECT_EQ(p.window.GetText(1092), "");
    }
  }
}

// The result that follows a cut state reply is the cycle's, and it is shown.
TEST(ReadBackConfiguration, CutStateLeavesTheNextResultToTheCycle) {
  Panel p({{0, "C" + kState.substr(0, 10)}, {150, kResult}});
  p.Tick();
  EXPECT_EQ(p.Message(), kBadState + "  ");
  p.Tick();
  // The start values stand: frequency, gate index 1.
  EXPECT_EQ(p.window.GetText(1092), " 1234 kHz" + std::string(17, ' '));
  EXPECT_EQ(p.ports.Pending(), 0u);
}

TEST(ConfigButton, RequestsReadbackOnNextTick) {
  Panel p({{0, Panel::Reply(kExample)}});
  p.Tick();
  p.TakeFrames();
  p.window.timerStarts.clear();
  p.window.Click(1024);
  EXPECT_EQ(p.state.configRequested, 1u);
  EXPECT_EQ(p.window.timerStarts, (std::vector<std::pair<unsigned, unsigned>>{{1, 20}}));
  EXPECT_TRUE(p.TakeFrames().empty());
  p.RunFor(20);
  EXPECT_EQ(p.TakeFrames(), std::vector<std::string>{"D1\r"});
}

}  // namespace
}  // namespace kolvane::test
