// The counter's measurement commands: CONFigure as the panel's mode and
// channel radios, the readings, and the launch.
#include <array>
#include <cmath>

#include "protocol/protocol.h"
#include "scpi/command.h"
#include "scpi/parameters.h"
#include "scpi/reading.h"

namespace kolvane::scpi {

namespace {

constexpr double kVariantValues[] = {1, 2, 3, 4};
constexpr const char* kVariantReplies[] = {"1", "2", "3", "4"};
constexpr Values kVariants{Values::Kind::kNumbers, kVariantValues, kVariantReplies, 0,
                           Dimension::kNone};

// The ratio's variants by their channel lists.
constexpr std::array<std::array<int, 2>, 3> kRatioPairs{{{1, 3}, {3, 1}, {2, 3}}};

// The function a CONFigure or MEASure header names, with its parameters.
std::optional<Configuration> Target(Call& c) {
  const std::vector<Node>& n = c.unit.header.nodes;
  // The function's nodes are the header's last one or two, the SCALar
  // node aside.
  const std::string& last = n.back().name;
  const std::string before = n.size() >= 2 ? n[n.size() - 2].name : "";
  Configuration cfg;
  std::size_t first = 0;
  if (IsWord(last, "RATio")) {
    cfg.function = Function::kRatio;
  } else if (IsWord(last, "PDURation")) {
    cfg.function = Function::kPulse;
    if (c.unit.params.empty() || c.unit.params[0].kind == ParamKind::kChannels) {
      c.ctx.Fail({err::kMissingParameter, "the variant, 1 to 4"});
      return std::nullopt;
    }
    const auto v = Pick(c, 0, kVariants);
    if (!v) return std::nullopt;
    cfg.variant = *v;
    first = 1;
  } else if (IsWord(before, "TOTalize")) {
    cfg.function = Function::kCount;
    cfg.variant = IsWord(last, "PERiod") ? 1 : 0;
  } else if (IsWord(last, "PERiod")) {
    cfg.function = Function::kPeriod;
  } else if (IsWord(last, "TACHometer")) {
    cfg.function = Function::kTachometer;
  } else if (IsWord(last, "DCYCle")) {
    cfg.function = Function::kDutyCycle;
  } else {
    cfg.function = Function::kFrequency;
  }
  // The optional expected value and resolution may be DEF.
  while (first < c.unit.params.size() && Special(c.unit.params[first]) == 2) ++first;
  std::vector<int> channels;
  if (!Channels(c, first, channels)) return std::nullopt;
  if (cfg.function == Function::kRatio) {
    if (channels.empty()) {
      // The ratio in use, else the one that suits the active channel.
      const CounterState& s = c.ctx.inst.State();
      cfg.variant = s.measureMode == protocol::mode::kRatio  ? s.ratioVariant
                    : s.activeChannel == protocol::kChannelB ? 2
                                                             : 0;
      return cfg;
    }
    for (std::size_t k = 0; k < kRatioPairs.size(); ++k) {
      if (channels.size() == 2 && channels[0] == kRatioPairs[k][0] &&
          channels[1] == kRatioPairs[k][1]) {
        cfg.variant = static_cast<int>(k);
        return cfg;
      }
    }
    c.ctx.Fail({err::kOutOfRange, "the ratios are (@1),(@3), (@3),(@1) and (@2),(@3)"});
    return std::nullopt;
  }
  if (channels.size() > 1) {
    c.ctx.Fail({err::kOutOfRange, "one channel only"});
    return std::nullopt;
  }
  if (!channels.empty()) cfg.channel = ChannelCode(channels[0]);
  return cfg;
}

enum class Configured { kRefused, kUnreachable, kFailed, kSet };

// What CONFigure and MEASure? share: the header's function set on the
// instrument, the readings of the previous one forgotten.
Configured ConfigureFrom(Call& c) {
  const auto cfg = Target(c);
  if (!cfg) return Configured::kRefused;
  if (!c.ctx.Need()) return Configured::kUnreachable;
  c.ctx.readings.clear();
  return c.ctx.Fail(c.ctx.inst.Configure(*cfg)) ? Configured::kFailed : Configured::kSet;
}

void Configure(Call& c) {
  // Once the instrument was reached, a pending INITiate is over.
  const Configured done = ConfigureFrom(c);
  if (done == Configured::kFailed || done == Configured::kSet) c.ctx.initiated = false;
}

void ConfigureQ(Call& c) {
  if (!Arity(c, 0, 0)) return;
  const Configuration cfg = c.ctx.inst.Current();
  const int ch = ChannelNumber(cfg.channel.value_or(0));
  std::string text = FunctionToken(cfg);
  if (cfg.function == Function::kPulse) text += " " + Nr1(cfg.variant + 1);
  if (cfg.function == Function::kRatio) {
    static constexpr const char* kPairs[] = {"(@1),(@3)", "(@3),(@1)", "(@2),(@3)"};
    const bool known = cfg.variant >= 0 && cfg.variant <= 2;
    c.reply = "\"" + text + (known ? std::string(" ") + kPairs[cfg.variant] : std::string()) + "\"";
    return;
  }
  if (ch != 0) text += " (@" + Nr1(ch) + ")";
  c.reply = "\"" + text + "\"";
}

// A reading query on a lost line still answers, with the SCPI not-a-number
// for each reading, so that a client does not wait out its time-out; the
// hardware error is in the queue.
void NoReadings(Call& c) {
  std::string text;
  for (int i = 0; i < c.ctx.sampleCount; ++i) {
    text += (i == 0 ? "" : ",") + std::string(kNotANumber);
  }
  c.reply = std::move(text);
}

// FETCh?'s reply, for READ? and MEASure? too, whose parameters were checked
// by their own rules.
void Readings(Call& c) {
  Context& s = c.ctx;
  if (s.initiated) {
    s.initiated = false;
    if (!s.Need()) return NoReadings(c);
    std::vector<Error> errors;
    std::vector<std::string> readings;
    const bool ok = s.inst.Acquire(s.sampleCount, true, readings, errors, s.cancel);
    for (Error& e : errors) s.Fail(std::move(e));
    if (s.Cancelled()) return;  // cleared: no reply, no error
    if (!ok) return NoReadings(c);
    s.readings = std::move(readings);
  }
  if (s.readings.empty()) {
    s.Fail({err::kStale, "no reading: INITiate first"});
    return;
  }
  std::string text;
  for (const std::string& r : s.readings) text += (text.empty() ? "" : ",") + r;
  c.reply = std::move(text);
}

// INITiate then FETCh?.
void Acquire(Call& c) {
  c.ctx.readings.clear();
  c.ctx.inst.Arm();
  c.ctx.initiated = true;
  Readings(c);
}

void Measure(Call& c) {
  switch (ConfigureFrom(c)) {
    case Configured::kUnreachable:
      return NoReadings(c);
    case Configured::kSet:
      return Acquire(c);
    case Configured::kRefused:
    case Configured::kFailed:
      return;
  }
}

void Initiate(Call& c) {
  if (!Arity(c, 0, 0) || !c.ctx.Need()) return;
  c.ctx.readings.clear();
  c.ctx.inst.Arm();
  c.ctx.initiated = true;
}

void Fetch(Call& c) {
  if (Arity(c, 0, 0)) Readings(c);
}

void Read(Call& c) {
  if (!Arity(c, 0, 0)) return;
  if (!c.ctx.Need()) return NoReadings(c);
  Acquire(c);
}

void Abort(Call& c) {
  if (!Arity(c, 0, 0)) return;
  c.ctx.initiated = false;
  c.ctx.readings.clear();
}

void SampleCount(Call& c) {
  if (!Arity(c, 1, 1)) return;
  if (const auto v = Ranged(c, 0, 1, c.ctx.maxSamples, 1)) {
    c.ctx.sampleCount = static_cast<int>(std::lround(*v));
  }
}

void SampleCountQ(Call& c) {
  if (c.unit.params.empty()) {
    c.reply = Nr1(c.ctx.sampleCount);
  } else if (Arity(c, 0, 1)) {
    if (const auto v = Ranged(c, 0, 1, c.ctx.maxSamples, 1)) c.reply = Nr1(std::lround(*v));
  }
}

constexpr Command kCommands[] = {
    {"CONFigure", nullptr, &ConfigureQ},
    {"CONFigure[:SCALar]:FREQuency", &Configure, nullptr},
    {"CONFigure[:SCALar]:PERiod", &Configure, nullptr},
    {"CONFigure[:SCALar]:FREQuency:RATio", &Configure, nullptr},
    {"CONFigure[:SCALar]:PDURation", &Configure, nullptr},
    {"CONFigure[:SCALar]:TOTalize:DURation", &Configure, nullptr},
    {"CONFigure[:SCALar]:TOTalize:PERiod", &Configure, nullptr},
    {"CONFigure[:SCALar]:TACHometer", &Configure, nullptr},
    {"CONFigure[:SCALar]:DCYCle", &Configure, nullptr},
    {"MEASure[:SCALar]:FREQuency", nullptr, &Measure},
    {"MEASure[:SCALar]:PERiod", nullptr, &Measure},
    {"MEASure[:SCALar]:FREQuency:RATio", nullptr, &Measure},
    {"MEASure[:SCALar]:PDURation", nullptr, &Measure},
    {"MEASure[:SCALar]:TOTalize:DURation", nullptr, &Measure},
    {"MEASure[:SCALar]:TOTalize:PERiod", nullptr, &Measure},
    {"MEASure[:SCALar]:TACHometer", nullptr, &Measure},
    {"MEASure[:SCALar]:DCYCle", nullptr, &Measure},
    {"INITiate[:IMMediate]", &Initiate, nullptr},
    // ON is automatic launch.
    {"INITiate:CONTinuous",
     Setting{Setting::Of::kCounter, kOffOn,
             [](const Instrument& i, std::uint32_t) { return i.State().singleShot == 0 ? 1 : 0; },
             [](Instrument& i, std::uint32_t, int on) { return i.SetLaunch(on == 0); }}},
    {"FETCh[:SCALar]", nullptr, &Fetch},
    {"READ", nullptr, &Read},
    {"ABORt", &Abort, nullptr},
    {"SAMPle:COUNt", &SampleCount, &SampleCountQ},
};

}  // namespace

std::span<const Command> MeasurementCommands() {
  return kCommands;
}

}  // namespace kolvane::scpi
