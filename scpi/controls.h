// Which of the panel's controls are enabled, kept in step with the panel's
// handlers and its readback: a command whose control the panel would not
// let the user click is refused. Only the controls that commands reach.
#pragma once

#include <array>
#include <cstdint>

namespace kolvane::scpi {

// The mode radios, with the variants their dialogs choose.
enum class Function { kFrequency, kPeriod, kPulse, kRatio, kTachometer, kDutyCycle, kCount };

struct Controls {
  bool timestamps = false;  // the panel starts with them disabled
  bool gates = true;
  std::array<bool, 3> channels{true, true, true};                       // A, B, C
  std::array<bool, 7> modes{true, true, true, true, true, true, true};  // by Function
  bool memory = true;
  bool inputs = true;
  bool launchAuto = true;
};

// The panel's measureMode for a radio and its dialog's variant.
std::uint32_t MeasureModeOf(Function f, int variant);
// 0, 1, 2 for the channel codes of A, B and C; -1 for any other.
int ChannelIndex(std::uint32_t channel);

bool ModeEnabled(const Controls& c, Function f);
bool ChannelEnabled(const Controls& c, std::uint32_t channel);

// What each handler does to the enabling. test is the test function's state.
void ModeClicked(Controls& c, Function f, int variant, int test);
void ChannelClicked(Controls& c, std::uint32_t channel, std::uint32_t measureMode, int test);
void TestSwitched(Controls& c, std::uint32_t measureMode, bool on);
void MemorySwitched(Controls& c);
void CalibrationSaved(Controls& c, int test);
// The readback's rules for the channel and mode codes of the 15 state bytes.
void ReadBackApplied(Controls& c, const std::uint8_t* state, int test);

}  // namespace kolvane::scpi
