// The server refuses what the panel would not let be clicked, from its own
// record of the panel's enabling. Random walks of clicks after random
// readbacks, run on a real panel and on that record side by side, keep the
// two in step.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "counter/counter.h"
#include "protocol/protocol.h"
#include "scpi/controls.h"
#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

using scpi::Controls;
using scpi::Function;

constexpr std::array<int, 7> kModeRadios{1016, 1019, 1020, 1030, 1031, 1032, 1091};
constexpr std::array<std::uint32_t, 3> kChannels{protocol::kChannelA, protocol::kChannelB,
                                                 protocol::kChannelC};
constexpr std::array<int, 3> kChannelRadios{1013, 1014, 1015};
constexpr int kTest = 1025;
constexpr int kMemory = 1050;
constexpr int kCalibration = 1113;
constexpr int kSave = 1109;

// A started panel whose instrument reads back the given state and
// acknowledges every setting.
struct Walk : PanelHarness {
  explicit Walk(const std::vector<std::uint8_t>& state) {
    ports.AddPort("COM1:");
    ports.OnWrite([state](ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
      const std::string frame(f.begin(), f.end());
      if (frame == "B\r") {
        p.Reply("N\x05");
      } else if (frame == "D1\r") {
        p.Reply("C" + std::string(state.begin(), state.end()));
      } else {
        p.Reply("\r");
      }
    });
    Init();
    Tick();  // the first tick reads the state back
  }
  bool On(int id) const { return window.IsControlEnabled(id); }
};

// The server stores only a calibration being entered. The panel leaves
// "Сохранить" enabled before the first entry and after calibration ends.
bool StoreAccepted(const Walk& w) {
  return w.state.calibrationMode == 1;
}

// Where the record and the panel part, if they do.
std::string Differences(const Walk& w, const Controls& c) {
  std::string out;
  const auto expect = [&](int id, bool on) {
    if (w.On(id) != on) out += " " + std::to_string(id) + (on ? " off" : " on");
  };
  for (int id = 1001; id <= 1005; ++id) expect(id, c.timestamps);
  for (int id = 1006; id <= 1010; ++id) expect(id, c.gates);
  for (std::size_t i = 0; i < kChannelRadios.size(); ++i) expect(kChannelRadios[i], c.channels[i]);
  for (std::size_t i = 0; i < kModeRadios.size(); ++i) expect(kModeRadios[i], c.modes[i]);
  expect(kMemory, c.memory);
  for (int id : {1069, 1070, 1071, 1073, 1095}) expect(id, c.inputs);
  expect(1066, c.launchAuto);
  if (StoreAccepted(w) && !w.On(kSave)) out += " store";
  return out;
}

TEST(ScpiControls, FollowThePanelThroughRandomWalks) {
  std::mt19937 rng(20261208);
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int walk = 0; walk < 1000; ++walk) {
    std::vector<std::uint8_t> state{0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 1, 64, 127, 0};
    state[protocol::kMode] = static_cast<std::uint8_t>(pick(12));
    state[protocol::kChannel] =
        static_cast<std::uint8_t>(kChannels[static_cast<std::size_t>(pick(3))]);
    state[protocol::kLaunch] = static_cast<std::uint8_t>(pick(2));
    Walk w(state);
    Controls c;
    scpi::ReadBackApplied(c, state.data(), 0);
    std::string trace = "readback mode " + std::to_string(state[protocol::kMode]) + " channel " +
                        std::to_string(state[protocol::kChannel]);
    ASSERT_EQ(Differences(w, c), "") << trace;

    for (int step = 0; step < 12; ++step) {
      const int test = w.panel.testMeasureToggle;
      switch (pick(6)) {
        case 0: {
          const auto f = static_cast<Function>(pick(7));
          const int radio = kModeRadios[static_cast<std::size_t>(f)];
          if (!w.On(radio)) continue;
          int variant = 0;
          if (f == Function::kPulse) variant = w.state.durationChoice = pick(4);
          if (f == Function::kCount) variant = w.state.countChoice = pick(3);
          w.window.Click(radio);
          scpi::ModeClicked(c, f, variant, test);
          trace += ", mode " + std::to_string(radio) + "/" + std::to_string(variant);
          break;
        }
        case 1: {
          const auto i = static_cast<std::size_t>(pick(3));
          const std::uint32_t measureMode = w.state.measureMode;
          // The server never clicks what the counter refuses.
          if (!w.On(kChannelRadios[i]) || Counter::ChannelRefusal(measureMode, kChannels[i])) {
            continue;
          }
          w.window.Click(kChannelRadios[i]);
          scpi::ChannelClicked(c, kChannels[i], measureMode, test);
          trace += ", channel " + std::to_string(kChannels[i]);
          break;
        }
        case 2:
          w.window.Click(kTest);
          scpi::TestSwitched(c, w.state.measureMode, test == 0);
          trace += ", test";
          break;
        case 3:
          if (!w.On(kCalibration)) continue;
          w.window.Click(kCalibration);
          trace += ", calibration";
          break;
        case 4:
          if (!StoreAccepted(w)) continue;
          w.window.Click(kSave);
          scpi::CalibrationSaved(c, test);
          trace += ", save";
          break;
        default: {
          if (!w.On(kMemory)) continue;
          const bool refused = w.panel.Instrument().MemoryRefusal().has_value();
          w.window.Click(kMemory);
          if (!refused) scpi::MemorySwitched(c);
          trace += ", memory";
          break;
        }
      }
      ASSERT_EQ(Differences(w, c), "") << trace;
    }
  }
}

}  // namespace
}  // namespace kolvane::test
