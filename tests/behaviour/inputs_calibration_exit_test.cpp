// Which controls end calibration mode, and which of them also drop an unsaved
// calibration value from the spin by putting it back at the saved code.
#include <gtest/gtest.h>

#include <string>

#include "tests/behaviour/inputs_fixture.h"

namespace kolvane::test {
namespace {

enum class Act { kClick, kSelect };

struct ExitCase {
  const char* name;
  int id;
  Act act;
  std::uint32_t calibrationBefore;
  std::uint32_t calibrationAfter;
  bool reverted;
};

constexpr std::uint8_t kSaved = 100;
constexpr int kStepped = 140;

const ExitCase kExitCases[] = {
    {"time stamp 1001", 1001, Act::kClick, 1, 0, true},
    {"time stamp 1005", 1005, Act::kClick, 1, 0, true},
    {"gate 1006", 1006, Act::kClick, 1, 0, true},
    {"gate 1010", 1010, Act::kClick, 1, 0, true},
    {"channel A", 1013, Act::kClick, 1, 0, true},
    {"channel B", 1014, Act::kClick, 1, 0, true},
    {"channel C", 1015, Act::kClick, 1, 0, true},
    {"frequency", 1016, Act::kClick, 1, 0, true},
    {"period", 1019, Act::kClick, 1, 0, true},
    {"pulse duration", 1020, Act::kClick, 1, 0, true},
    {"ratio", 1030, Act::kClick, 1, 0, true},
    {"tachometer", 1031, Act::kClick, 1, 0, true},
    {"duty cycle", 1032, Act::kClick, 1, 0, true},
    {"count", 1091, Act::kClick, 1, 0, true},
    {"automatic launch", 1066, Act::kClick, 1, 0, true},
    {"single shot", 1067, Act::kClick, 1, 0, true},
    {"impedance", 1069, Act::kSelect, 1, 0, true},
    {"coupling", 1070, Act::kSelect, 1, 0, true},
    {"attenuator", 1071, Act::kSelect, 1, 0, true},
    {"filter", 1073, Act::kClick, 1, 0, true},
    {"slope", 1095, Act::kClick, 1, 0, true},
    {"memory outside calibration", 1050, Act::kClick, 0, 0, true},
    {"memory in calibration: refused", 1050, Act::kClick, 1, 1, false},
    {"test/measure keeps calibration mode", 1025, Act::kClick, 1, 1, true},
    {"generator", 1056, Act::kSelect, 1, 0, false},
    {"start source", 1114, Act::kSelect, 1, 0, false},
    {"start", 1041, Act::kClick, 1, 0, false},
};

class CalibrationExitTest : public StartedPanel {};

TEST_F(CalibrationExitTest, EachControlEndsCalibrationAndRevertsAsItShould) {
  for (const ExitCase& c : kExitCases) {
    SCOPED_TRACE(c.name);
    h.state.activeChannel = 1;
    h.state.measureMode = 1;
    h.state.calibrationMode = c.calibrationBefore;
    h.state.calibrationCode = kSaved;
    h.window.SpinSetPos(1108, kStepped);
    h.window.SetText(1106, "  140");

    if (c.act == Act::kClick) {
      h.window.Click(c.id);
    } else {
      h.window.SelectEntry(c.id, 1);
    }

    EXPECT_EQ(h.state.calibrationMode, c.calibrationAfter);
    EXPECT_EQ(h.window.SpinGetPos(1108), c.reverted ? kSaved : kStepped);
    EXPECT_EQ(h.window.GetText(1106), c.reverted ? "  100" : "  140");
    // Leaving calibration never tells the instrument to drop the value.
    for (const std::string& frame : h.TakeFrames()) EXPECT_NE(frame[0], 'Y') << frame;
  }
}

// The Config button only asks for a readback; the readback then ends
// calibration mode and takes the instrument's value as the saved one.
TEST_F(CalibrationExitTest, ConfigButtonEndsCalibrationThroughTheReadback) {
  h.state.calibrationMode = 1;
  h.state.calibrationCode = kSaved;
  h.window.SpinSetPos(1108, kStepped);
  h.window.Click(1024);
  EXPECT_EQ(h.state.calibrationMode, 1u);
  EXPECT_EQ(h.window.SpinGetPos(1108), kStepped);

  AnswerWith([](const std::string& frame) {
    const std::string state{0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 64, 77, 0};
    return frame == "D1\r" ? "C" + state : kCrOnly;
  });
  h.Tick();
  EXPECT_EQ(h.state.calibrationMode, 0u);
  EXPECT_EQ(h.window.SpinGetPos(1108), 77);
  EXPECT_EQ(h.window.GetText(1106), "  77");
  EXPECT_EQ(h.state.calibrationCode, 77);
}

}  // namespace
}  // namespace kolvane::test
