#include "scpi/controls.h"

#include "protocol/protocol.h"

namespace kolvane::scpi {

namespace {

namespace mode = protocol::mode;

std::size_t At(Function f) {
  return static_cast<std::size_t>(f);
}

void SetChannels(Controls& c, bool a, bool b, bool cc) {
  c.channels = {a, b, cc};
}

// Modes in which the time stamps serve only the test function.
bool TimestampsFollowTest(std::uint32_t measureMode) {
  return measureMode == mode::kFrequency || measureMode == mode::kCountByDuration ||
         measureMode == mode::kCountByPeriod || measureMode == mode::kRatio;
}

// Channels A and C give every mode radio and the memory back.
void ChannelAOrC(Controls& c, std::uint32_t measureMode, int test) {
  c.inputs = true;
  c.modes.fill(true);
  c.memory = true;
  if (measureMode == mode::kFrequency) {
    c.timestamps = test == 1;
  } else if (measureMode == mode::kPeriod || measureMode == mode::kDl1) {
    c.timestamps = true;
  }
}

}  // namespace

std::uint32_t MeasureModeOf(Function f, int variant) {
  const auto v = static_cast<std::uint32_t>(variant);
  switch (f) {
    case Function::kFrequency:
      return mode::kFrequency;
    case Function::kPeriod:
      return mode::kPeriod;
    case Function::kPulse:
      return mode::kDl1 + v;
    case Function::kRatio:
      return mode::kRatio;
    case Function::kTachometer:
      return mode::kTachometer;
    case Function::kDutyCycle:
      return mode::kDutyCycle;
    case Function::kCount:
      return mode::kCountByDuration + v;
  }
  return 0;
}

int ChannelIndex(std::uint32_t channel) {
  return channel == protocol::kChannelA   ? 0
         : channel == protocol::kChannelB ? 1
         : channel == protocol::kChannelC ? 2
                                          : -1;
}

bool ModeEnabled(const Controls& c, Function f) {
  return c.modes[At(f)];
}

bool ChannelEnabled(const Controls& c, std::uint32_t channel) {
  const int i = ChannelIndex(channel);
  return i >= 0 && c.channels[static_cast<std::size_t>(i)];
}

void ModeClicked(Controls& c, Function f, int variant, int test) {
  switch (f) {
    case Function::kFrequency:
    case Function::kRatio:
      SetChannels(c, true, true, true);
      c.timestamps = test == 1;
      c.gates = true;
      break;
    case Function::kPeriod:
      SetChannels(c, true, false, true);
      c.timestamps = c.gates = true;
      break;
    case Function::kPulse:
      // DL4 measures on C, and no channel radio may change that.
      if (variant == 3) {
        SetChannels(c, false, false, false);
      } else {
        SetChannels(c, true, false, true);
      }
      c.timestamps = true;
      c.gates = variant == 1 || variant == 3;
      break;
    case Function::kTachometer:
      SetChannels(c, false, true, false);
      c.timestamps = c.gates = false;
      break;
    case Function::kDutyCycle:
      SetChannels(c, true, false, true);
      c.timestamps = true;
      c.gates = false;
      break;
    case Function::kCount:
      c.timestamps = test == 1;
      c.gates = false;
      SetChannels(c, false, false, false);
      break;
  }
}

void ChannelClicked(Controls& c, std::uint32_t channel, std::uint32_t measureMode, int test) {
  if (channel == protocol::kChannelB) {
    for (Function f : {Function::kPeriod, Function::kPulse, Function::kTachometer,
                       Function::kDutyCycle, Function::kCount}) {
      c.modes[At(f)] = false;
    }
    c.memory = false;
    c.inputs = false;
    c.modes[At(Function::kRatio)] = true;
    c.modes[At(Function::kFrequency)] = true;
    c.timestamps = test == 1;
    c.gates = true;
    return;
  }
  if (channel == protocol::kChannelA) c.channels[0] = true;
  ChannelAOrC(c, measureMode, test);
}

void TestSwitched(Controls& c, std::uint32_t measureMode, bool on) {
  if (TimestampsFollowTest(measureMode)) c.timestamps = on;
}

void MemorySwitched(Controls& c) {
  c.timestamps = c.gates = true;
}

void CalibrationSaved(Controls& c, int test) {
  SetChannels(c, true, true, true);
  c.timestamps = test == 1;
  c.gates = true;
  c.modes[At(Function::kFrequency)] = true;
}

void ReadBackApplied(Controls& c, const std::uint8_t* b, int test) {
  const std::uint8_t code = b[protocol::kMode];
  const std::uint8_t channel = b[protocol::kChannel];
  const auto stamps = [&](bool byTest, bool on) { c.timestamps = byTest ? test == 1 : on; };
  using protocol::ModeCode;

  // The channel's rule first, then the mode's.
  if (channel == protocol::kChannelA || channel == protocol::kChannelC) {
    c.modes[At(Function::kPulse)] = c.modes[At(Function::kPeriod)] = true;
    if (channel == protocol::kChannelA) c.modes[At(Function::kRatio)] = true;
    if (code == ModeCode::kFrequency) {
      stamps(true, false);
    } else if (code == ModeCode::kPeriod || code == ModeCode::kDuration1 ||
               (channel == protocol::kChannelA && code == ModeCode::kRatio)) {
      stamps(false, true);
    }
  } else if (channel == protocol::kChannelB) {
    c.modes[At(Function::kFrequency)] = true;
    c.modes[At(Function::kPeriod)] = c.modes[At(Function::kPulse)] = false;
    stamps(true, false);
    c.gates = true;
  }

  switch (code) {
    case ModeCode::kFrequency:
    case ModeCode::kRatio:
      SetChannels(c, true, true, true);
      stamps(true, false);
      c.gates = true;
      break;
    case ModeCode::kPeriod:
      SetChannels(c, true, false, true);
      stamps(false, true);
      c.gates = true;
      break;
    case ModeCode::kDuration1:
    case ModeCode::kDuration2:
    case ModeCode::kDuration3:
    case ModeCode::kDuration4:
      SetChannels(c, true, false, true);
      break;
    case ModeCode::kTachometer:
      stamps(false, false);
      c.gates = false;
      break;
    default:
      break;
  }
  c.launchAuto = b[protocol::kLaunch] == 0;
}

}  // namespace kolvane::scpi
