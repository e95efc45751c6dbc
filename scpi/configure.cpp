// CONFigure: the mode radio with its dialog's answer and the channel radio,
// in an order the panel allows, tried first on a rehearsal of the panel.
#include <array>

#include "panel/handlers/controls.h"
#include "resources/ids.h"
#include "scpi/instrument.h"

namespace kolvane::scpi {

namespace {

namespace mode = protocol::mode;
using protocol::kChannelA;
using protocol::kChannelB;
using protocol::kChannelC;

// Plan steps besides the channel codes: the wanted mode's radio, and the
// frequency radio, which frees every channel.
constexpr std::uint32_t kModeClick = 0;
constexpr std::uint32_t kFrequencyClick = 0xFF;

// The mode radios, by Function.
constexpr std::array kModeRadios{ids::kModeFrequency, ids::kModePeriod,     ids::kModePulseDuration,
                                 ids::kModeRatio,     ids::kModeTachometer, ids::kModeDutyCycle,
                                 ids::kModeCount};

int ModeRadio(Function f) {
  return kModeRadios[static_cast<std::size_t>(f)];
}

int ChannelRadio(std::uint32_t channel) {
  const int i = protocol::ChannelIndex(channel);
  return i < 0 ? 0 : kChannelRadios[static_cast<std::size_t>(i)];
}

// The panel's measureMode for a radio and its dialog's variant.
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

// Only the radios whose dialog offers a choice take a variant.
bool HasDialog(Function f) {
  return f == Function::kPulse || f == Function::kRatio || f == Function::kCount;
}

// One step of a plan on a panel: the control it clicks, if the panel lets
// the user click it, and whether the panel took the click.
bool TryStep(PanelModel& panel, const Configuration& target, std::uint32_t step) {
  // The rehearsal's port answers nothing: only refusals count there.
  const auto taken = [](const std::optional<Outcome>& o) { return !o || !o->Refused(); };
  if (step == kFrequencyClick) {
    return panel.Enabled(ids::kModeFrequency) && taken(panel.Click(ids::kModeFrequency));
  }
  if (step == kModeClick) {
    const int id = ModeRadio(target.function);
    return panel.Enabled(id) &&
           taken(panel.ClickMode(id, HasDialog(target.function) ? target.variant : -1));
  }
  const int id = ChannelRadio(step);
  return id != 0 && panel.Enabled(id) && taken(panel.Click(id));
}

}  // namespace

std::optional<std::vector<std::uint32_t>> Instrument::Plan(const Configuration& c,
                                                           std::uint32_t channel) {
  const std::uint32_t wanted = MeasureModeOf(c.function, c.variant);
  const bool ratio = c.function == Function::kRatio;
  const auto reached = [&](const CounterState& s) {
    return s.measureMode == wanted && s.activeChannel == channel &&
           (!ratio || s.ratioVariant == c.variant);
  };
  // The clicks a user would try, fewest first; a ratio takes its channel
  // first, since a channel click in ratio mode opens the dialog again.
  const std::uint32_t m = kModeClick;
  const std::uint32_t f = kFrequencyClick;
  std::vector<std::vector<std::uint32_t>> tries{{m}};
  if (ratio) {
    tries.push_back({channel, m});
    tries.push_back({m, channel});
  } else {
    tries.push_back({m, channel});
    tries.push_back({channel, m});
  }
  tries.push_back({kChannelA, m, channel});
  tries.push_back({f, channel, m});
  tries.push_back({f, m, channel});
  for (const auto& t : tries) {
    const auto rehearsal = model_.Rehearse();
    bool ok = true;
    for (std::uint32_t step : t) {
      ok = TryStep(*rehearsal, c, step);
      if (!ok) break;
    }
    if (ok && reached(rehearsal->State())) return t;
  }
  // Already there, with a mode radio the panel disables (the tachometer on B).
  if (reached(St()) && !model_.Enabled(ModeRadio(c.function))) {
    return std::vector<std::uint32_t>{};
  }
  return std::nullopt;
}

Result Instrument::Click(const Configuration& target, std::uint32_t step) {
  model_.Drain();
  if (step == kFrequencyClick) return Check(model_.Click(ids::kModeFrequency));
  if (step == kModeClick) {
    const int variant = HasDialog(target.function) ? target.variant : -1;
    return Check(model_.ClickMode(ModeRadio(target.function), variant));
  }
  if (Result r = Check(model_.Click(ChannelRadio(step)))) return r;
  return ChannelReadBack();
}

Result Instrument::Configure(const Configuration& c) {
  const std::uint32_t active = St().activeChannel;
  const bool activeAC = IsInputChannel(active);
  std::uint32_t channel = 0;
  switch (c.function) {
    case Function::kFrequency:
    case Function::kTachometer:
      channel = c.channel.value_or(protocol::ChannelIndex(active) >= 0 ? active : kChannelA);
      break;
    case Function::kRatio:
      channel = c.variant == 2 ? kChannelB : activeAC ? active : kChannelA;
      break;
    case Function::kPulse:
      if (c.variant == 3) {
        channel = c.channel.value_or(kChannelC);
        if (auto refusal = Counter::ChannelRefusal(mode::kDl4, channel)) {
          return Conflict(refusal->reason);
        }
        break;
      }
      [[fallthrough]];
    default:
      channel = c.channel.value_or(activeAC ? active : kChannelA);
      break;
  }
  const auto plan = Plan(c, channel);
  if (!plan) {
    const std::uint32_t wanted = MeasureModeOf(c.function, c.variant);
    return Conflict("the panel cannot set " + ModeName(wanted) + " mode on channel " +
                    ChannelName(channel));
  }
  for (std::uint32_t step : *plan) {
    if (Result r = Click(c, step)) return r;
  }
  return std::nullopt;
}

std::string ChannelName(std::uint32_t channel) {
  const int i = protocol::ChannelIndex(channel);
  return i < 0 ? "none" : std::string(1, "ABC"[i]);
}

std::string ModeName(std::uint32_t measureMode) {
  switch (measureMode) {
    case mode::kFrequency:
      return "frequency";
    case mode::kPeriod:
      return "period";
    case mode::kDl1:
    case mode::kDl2:
    case mode::kDl3:
    case mode::kDl4:
      return "pulse duration DL" + std::to_string(measureMode - mode::kDl1 + 1);
    case mode::kCountByDuration:
      return "count by duration";
    case mode::kCountByPeriod:
      return "count by period";
    case mode::kRatio:
      return "ratio";
    case mode::kTachometer:
      return "tachometer";
    case mode::kDutyCycle:
      return "duty-cycle";
    default:
      return "count";
  }
}

Configuration Instrument::Current() const {
  const std::uint32_t m = St().measureMode;
  Configuration c;
  c.channel = St().activeChannel;
  if (m >= mode::kDl1 && m <= mode::kDl4) {
    c.function = Function::kPulse;
    c.variant = static_cast<int>(m - mode::kDl1);
  } else if (m == mode::kCountByDuration || m == mode::kCountByPeriod) {
    c.function = Function::kCount;
    c.variant = static_cast<int>(m - mode::kCountByDuration);
  } else if (m == mode::kRatio) {
    c.function = Function::kRatio;
    c.variant = St().ratioVariant;
  } else if (m == mode::kPeriod) {
    c.function = Function::kPeriod;
  } else if (m == mode::kTachometer) {
    c.function = Function::kTachometer;
  } else if (m == mode::kDutyCycle) {
    c.function = Function::kDutyCycle;
  } else if (m == mode::kFrequency) {
    c.function = Function::kFrequency;
  } else {
    c.function = Function::kCount;
    c.variant = -1;  // a count variant the panel has no radio for
  }
  return c;
}

}  // namespace kolvane::scpi
