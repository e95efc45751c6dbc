// The counter's settings: each discrete one a row with its values, its
// query and its setter; the calibration and the trigger level by hand.
#include <cmath>
#include <span>

#include "protocol/protocol.h"
#include "scpi/command.h"
#include "scpi/parameters.h"

namespace kolvane::scpi {

namespace {

using Channel = std::uint32_t;
using Kind = Values::Kind;

constexpr const char* kDecadeReplies[] = {"+1.0E-07", "+1.0E-06", "+1.0E-05",
                                          "+1.0E-04", "+1.0E-03", "+1.0E-02",
                                          "+1.0E-01", "+1.0E+00", "+1.0E+01"};
constexpr double kAverageValues[] = {1, 10, 100, 1000, 10000};
constexpr const char* kAverageReplies[] = {"1", "10", "100", "1000", "10000"};
constexpr double kImpedanceValues[] = {50.0, 1e6};
constexpr const char* kImpedanceReplies[] = {"+5.0E+01", "+1.0E+06"};
constexpr double kAttenuationValues[] = {1.0, 10.0};
constexpr const char* kAttenuationReplies[] = {"1", "10"};
constexpr const char* kGenerators[] = {"INTernal", "EXTernal"};
// List entry 0 " =~ " passes DC, entry 1 " ~ " AC only.
constexpr const char* kCouplings[] = {"DC", "AC"};
// The check box unchecked is the rising edge, checked the falling one.
constexpr const char* kSlopes[] = {"POSitive", "NEGative"};

constexpr Values kGates{Kind::kNumbers, protocol::kGateSeconds,
                        std::span(kDecadeReplies).subspan(4), 2, Dimension::kTime};
constexpr Values kAverages{Kind::kNumbers, kAverageValues, kAverageReplies, 2, Dimension::kNone};
constexpr Values kStamps{Kind::kNumbers, protocol::kTimestampSeconds,
                         std::span(kDecadeReplies).first(5), 1, Dimension::kTime};
constexpr Values kImpedances{Kind::kNumbers, kImpedanceValues, kImpedanceReplies, 1,
                             Dimension::kOhm};
constexpr Values kGeneratorWords{Kind::kWords, {}, kGenerators};
constexpr Values kCouplingWords{Kind::kWords, {}, kCouplings};
constexpr Values kSlopeWords{Kind::kWords, {}, kSlopes};
constexpr Values kAttenuations{Kind::kNumbers, kAttenuationValues, kAttenuationReplies, 0,
                               Dimension::kNone};

// The level's range in the panel's units.
constexpr double kLevelLow = protocol::LevelValue(0);
constexpr double kLevelHigh = protocol::LevelValue(protocol::kLevelTop);

// The calibration value the panel starts with.
constexpr double kCalibrationStart = 127;

// The gate's radios, which period mode names the averaging.
int GateIndex(const Instrument& i, Channel) {
  return static_cast<int>(i.State().gateIndex) - 1;
}
Result SetGate(Instrument& i, Channel, int index) {
  return i.SetGate(index + 1);
}

// A setting of channel A's or C's input: one of its fields, set by SetInput.
template <std::int32_t InputSettings::*field, InputField which>
constexpr Setting Input(const Values& values) {
  return {Setting::Of::kInput, values,
          [](const Instrument& i, Channel ch) {
            const CounterState& s = i.State();
            return (ch == protocol::kChannelA ? s.inputA : s.inputC).*field;
          },
          [](Instrument& i, Channel ch, int index) { return i.SetInput(ch, which, index); }};
}

void CalValue(Call& c) {
  if (!Arity(c, 1, 1)) return;
  const auto v = Ranged(c, 0, 0, 255, kCalibrationStart);
  if (v && c.ctx.Need()) {
    c.ctx.Fail(c.ctx.inst.SetCalibration(static_cast<int>(std::lround(*v))));
  }
}

void CalValueQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = Nr1(c.ctx.inst.CalibrationValue());
}

void CalStore(Call& c) {
  if (Arity(c, 0, 0) && c.ctx.Need()) c.ctx.Fail(c.ctx.inst.StoreCalibration());
}

void Level(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 1, 1)) return;
  // DEF is the reset button: the middle, by its own rule.
  if (Special(c.unit.params[0]) == 2) {
    if (c.ctx.Need()) c.ctx.Fail(c.ctx.inst.ResetLevel(*ch));
    return;
  }
  const auto v = Ranged(c, 0, kLevelLow, kLevelHigh, 0);
  if (!v || !c.ctx.Need()) return;
  const int position =
      static_cast<int>(std::lround((*v + protocol::kLevelOffset) / protocol::kLevelStep));
  c.ctx.Fail(c.ctx.inst.SetLevel(*ch, position));
}

void LevelQ(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 0, 1)) return;
  if (c.unit.params.empty()) {
    c.reply = Nr1(protocol::LevelValue(c.ctx.inst.LevelPosition(*ch)));
  } else if (Special(c.unit.params[0]) < 0) {
    c.ctx.Fail({err::kIllegalValue, {}});
  } else if (const auto v = Ranged(c, 0, kLevelLow, kLevelHigh, 0)) {
    c.reply = Nr1(std::lround(*v));
  }
}

constexpr auto kCounter = Setting::Of::kCounter;

constexpr Command kCommands[] = {
    {"[SENSe:]FREQuency:GATE:TIME", Setting{kCounter, kGates, &GateIndex, &SetGate}},
    {"[SENSe:]PERiod:AVERage:COUNt", Setting{kCounter, kAverages, &GateIndex, &SetGate}},
    {"[SENSe:]TSTamp",
     Setting{kCounter, kStamps,
             [](const Instrument& i, Channel) {
               return static_cast<int>(i.State().timestampIndex) - 1;
             },
             [](Instrument& i, Channel, int v) { return i.SetTimestamp(v + 1); }}},
    {"[SENSe:]ROSCillator:SOURce",
     Setting{kCounter, kGeneratorWords,
             [](const Instrument& i, Channel) { return static_cast<int>(i.State().generator); },
             [](Instrument& i, Channel, int v) { return i.SetGenerator(v); }}},
    {"DIAGnostic:TEST[:STATe]",
     Setting{kCounter, kOffOn, [](const Instrument& i, Channel) { return i.State().test; },
             [](Instrument& i, Channel, int on) { return i.SetTest(on == 1); }}},
    {"MEMory[:STATe]",
     Setting{kCounter, kOffOn, [](const Instrument& i, Channel) { return i.State().memory; },
             [](Instrument& i, Channel, int on) { return i.SetMemory(on == 1); }}},
    {"CALibration:VALue", &CalValue, &CalValueQ},
    {"CALibration:STORe", &CalStore, nullptr},
    {"INPut#:IMPedance", Input<&InputSettings::impedance, InputField::kImpedance>(kImpedances)},
    {"INPut#:COUPling", Input<&InputSettings::coupling, InputField::kCoupling>(kCouplingWords)},
    {"INPut#:ATTenuation",
     Input<&InputSettings::attenuator, InputField::kAttenuator>(kAttenuations)},
    {"INPut#:FILTer[:LPASs][:STATe]",
     Input<&InputSettings::lowPassFilter, InputField::kFilter>(kOffOn)},
    {"INPut#:SLOPe", Input<&InputSettings::slope, InputField::kSlope>(kSlopeWords)},
    {"INPut#:LEVel", &Level, &LevelQ},
};

// The channel an input's setting names; 0 for the counter's own.
std::optional<Channel> ChannelOf(Call& c) {
  if (c.command.setting.of == Setting::Of::kCounter) return 0;
  return InputChannel(c);
}

}  // namespace

void ApplySetting(Call& c) {
  const Setting& s = c.command.setting;
  const auto ch = ChannelOf(c);
  if (!ch || !Arity(c, 1, 1)) return;
  std::optional<int> index;
  switch (s.values.kind) {
    case Kind::kNumbers:
      index = Pick(c, 0, s.values);
      break;
    case Kind::kWords:
      index = Word(c, 0, s.values.names, s.values.def);
      break;
    case Kind::kSwitch:
      if (const auto on = Switch(c, 0)) index = *on ? 1 : 0;
      break;
  }
  if (index && c.ctx.Need()) c.ctx.Fail(s.set(c.ctx.inst, *ch, *index));
}

void QuerySetting(Call& c) {
  const Setting& s = c.command.setting;
  const auto ch = ChannelOf(c);
  if (!ch) return;
  const int index = s.get(c.ctx.inst, *ch);
  if (s.values.kind == Kind::kNumbers) return Reply(c, s.values, index);
  if (!Arity(c, 0, 0)) return;
  // Two values: any but 1 reads as the first.
  const char* name = s.values.names[index == 1 ? 1 : 0];
  c.reply = s.values.kind == Kind::kWords ? ShortForm(name) : std::string(name);
}

std::span<const Command> SettingCommands() {
  return kCommands;
}

}  // namespace kolvane::scpi
