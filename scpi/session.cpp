#include "scpi/session.h"

#include <array>
#include <cmath>
#include <span>

#include "protocol/protocol.h"
#include "scpi/reading.h"

namespace kolvane::scpi {

namespace {

using protocol::kChannelA;
using protocol::kChannelB;
using protocol::kChannelC;

// ---- The command tree ----

struct PatternNode {
  std::string shortName;  // the upper-case letters of the mnemonic
  std::string longName;
  bool optional = false;
  bool suffixed = false;  // takes a numeric suffix (INPut<n>)
};

struct Entry {
  const char* pattern;
  ScpiSession::Handler set;
  ScpiSession::Handler query;
};

using S = ScpiSession;

// Upper-case letters are the short form; [..] marks an optional node, #
// a numeric suffix.
const Entry kCommands[] = {
    {"*IDN", nullptr, &S::Idn},
    {"*RST", &S::Rst, nullptr},
    {"*CLS", &S::Cls, nullptr},
    {"*ESE", &S::Ese, &S::EseQ},
    {"*ESR", nullptr, &S::EsrQ},
    {"*OPC", &S::Opc, &S::OpcQ},
    {"*SRE", &S::Sre, &S::SreQ},
    {"*STB", nullptr, &S::StbQ},
    {"*TST", nullptr, &S::TstQ},
    {"*WAI", &S::Wai, nullptr},
    {"SYSTem:ERRor[:NEXT]", nullptr, &S::ErrorNext},
    {"SYSTem:ERRor:COUNt", nullptr, &S::ErrorCount},
    {"SYSTem:ERRor:ALL", nullptr, &S::ErrorAll},
    {"SYSTem:VERSion", nullptr, &S::Version},
    {"CONFigure", nullptr, &S::ConfigureQ},
    {"CONFigure[:SCALar]:FREQuency", &S::Configure, nullptr},
    {"CONFigure[:SCALar]:PERiod", &S::Configure, nullptr},
    {"CONFigure[:SCALar]:FREQuency:RATio", &S::Configure, nullptr},
    {"CONFigure[:SCALar]:PDURation", &S::Configure, nullptr},
    {"CONFigure[:SCALar]:TOTalize:DURation", &S::Configure, nullptr},
    {"CONFigure[:SCALar]:TOTalize:PERiod", &S::Configure, nullptr},
    {"CONFigure[:SCALar]:TACHometer", &S::Configure, nullptr},
    {"CONFigure[:SCALar]:DCYCle", &S::Configure, nullptr},
    {"MEASure[:SCALar]:FREQuency", nullptr, &S::Measure},
    {"MEASure[:SCALar]:PERiod", nullptr, &S::Measure},
    {"MEASure[:SCALar]:FREQuency:RATio", nullptr, &S::Measure},
    {"MEASure[:SCALar]:PDURation", nullptr, &S::Measure},
    {"MEASure[:SCALar]:TOTalize:DURation", nullptr, &S::Measure},
    {"MEASure[:SCALar]:TOTalize:PERiod", nullptr, &S::Measure},
    {"MEASure[:SCALar]:TACHometer", nullptr, &S::Measure},
    {"MEASure[:SCALar]:DCYCle", nullptr, &S::Measure},
    {"INITiate[:IMMediate]", &S::Initiate, nullptr},
    {"INITiate:CONTinuous", &S::Continuous, &S::ContinuousQ},
    {"FETCh[:SCALar]", nullptr, &S::Fetch},
    {"READ", nullptr, &S::Read},
    {"ABORt", &S::Abort, nullptr},
    {"SAMPle:COUNt", &S::SampleCount, &S::SampleCountQ},
    {"[SENSe:]FREQuency:GATE:TIME", &S::Gate, &S::GateQ},
    {"[SENSe:]PERiod:AVERage:COUNt", &S::Average, &S::AverageQ},
    {"[SENSe:]TSTamp", &S::Timestamp, &S::TimestampQ},
    {"[SENSe:]ROSCillator:SOURce", &S::Oscillator, &S::OscillatorQ},
    {"DIAGnostic:TEST[:STATe]", &S::Test, &S::TestQ},
    {"MEMory[:STATe]", &S::Memory, &S::MemoryQ},
    {"CALibration:VALue", &S::CalValue, &S::CalValueQ},
    {"CALibration:STORe", &S::CalStore, nullptr},
    {"INPut#:IMPedance", &S::Impedance, &S::ImpedanceQ},
    {"INPut#:COUPling", &S::Coupling, &S::CouplingQ},
    {"INPut#:ATTenuation", &S::Attenuation, &S::AttenuationQ},
    {"INPut#:FILTer[:LPASs][:STATe]", &S::Filter, &S::FilterQ},
    {"INPut#:SLOPe", &S::Slope, &S::SlopeQ},
    {"INPut#:LEVel", &S::Level, &S::LevelQ},
};

std::vector<PatternNode> ParsePattern(std::string_view p) {
  std::vector<PatternNode> nodes;
  bool optional = false;
  PatternNode n;
  const auto flush = [&] {
    if (n.longName.empty()) return;
    n.optional = optional;
    nodes.push_back(n);
    n = {};
  };
  for (char c : p) {
    if (c == '[') {
      flush();
      optional = true;
    } else if (c == ']') {
      flush();
      optional = false;
    } else if (c == ':') {
      flush();
    } else if (c == '#') {
      n.suffixed = true;
    } else {
      if ((c >= 'A' && c <= 'Z') || c == '*') n.shortName += c;
      n.longName += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
  }
  flush();
  return nodes;
}

struct Compiled {
  std::vector<PatternNode> nodes;
  const Entry* entry;
};

const std::vector<Compiled>& Tree() {
  static const std::vector<Compiled> tree = [] {
    std::vector<Compiled> t;
    for (const Entry& e : kCommands) t.push_back({ParsePattern(e.pattern), &e});
    return t;
  }();
  return tree;
}

struct MatchState {
  int suffix = 1;
  bool badSuffix = false;
};

bool MatchFrom(const std::vector<Node>& h, std::size_t i, const std::vector<PatternNode>& p,
               std::size_t j, MatchState& m) {
  if (j == p.size()) return i == h.size();
  if (p[j].optional && MatchFrom(h, i, p, j + 1, m)) return true;
  if (i == h.size()) return false;
  const Node& n = h[i];
  if (n.name != p[j].shortName && n.name != p[j].longName) return false;
  MatchState next = m;
  if (p[j].suffixed) {
    next.suffix = n.suffix.value_or(1);
  } else if (n.suffix && *n.suffix != 1) {
    next.badSuffix = true;
  }
  if (!MatchFrom(h, i + 1, p, j + 1, next)) return false;
  m = next;
  return true;
}

// ---- Values ----

bool Near(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::fmax(std::fabs(a), std::fabs(b));
}

// The multiplier of a unit suffix; 0 when the suffix is not one of them.
enum class Dimension { kNone, kTime, kOhm };

double Multiplier(Dimension unit, const std::string& s) {
  if (s.empty()) return 1.0;
  struct Suffix {
    Dimension unit;
    const char* name;
    double factor;
  };
  static constexpr Suffix kSuffixes[] = {
      {Dimension::kTime, "S", 1.0},    {Dimension::kTime, "MS", 1e-3},
      {Dimension::kTime, "US", 1e-6},  {Dimension::kTime, "NS", 1e-9},
      {Dimension::kTime, "PS", 1e-12}, {Dimension::kOhm, "OHM", 1.0},
      {Dimension::kOhm, "KOHM", 1e3},  {Dimension::kOhm, "MOHM", 1e6},
      {Dimension::kOhm, "GOHM", 1e9},
  };
  for (const Suffix& x : kSuffixes) {
    if (x.unit == unit && s == x.name) return x.factor;
  }
  return 0.0;
}

// MINimum, MAXimum, DEFault: 0, 1, 2; -1 for anything else.
int Special(const Param& p) {
  if (p.kind != ParamKind::kCharacter) return -1;
  const std::string& t = p.text;
  if (t == "MIN" || t == "MINIMUM") return 0;
  if (t == "MAX" || t == "MAXIMUM") return 1;
  if (t == "DEF" || t == "DEFAULT") return 2;
  return -1;
}

bool IsWord(const std::string& text, const char* word) {
  std::string shortForm;
  std::string longForm;
  for (const char* c = word; *c != '\0'; ++c) {
    if (*c >= 'A' && *c <= 'Z') shortForm += *c;
    longForm += static_cast<char>(*c >= 'a' && *c <= 'z' ? *c - 'a' + 'A' : *c);
  }
  return text == shortForm || text == longForm;
}

std::string Nr1(long long v) {
  return std::to_string(v);
}

constexpr const char* kDecadeReplies[] = {"+1.0E-07", "+1.0E-06", "+1.0E-05",
                                          "+1.0E-04", "+1.0E-03", "+1.0E-02",
                                          "+1.0E-01", "+1.0E+00", "+1.0E+01"};

int ChannelNumber(std::uint32_t code) {
  return code == kChannelA ? 1 : code == kChannelB ? 2 : code == kChannelC ? 3 : 0;
}

std::uint32_t ChannelCode(int number) {
  return number == 1 ? kChannelA : number == 2 ? kChannelB : number == 3 ? kChannelC : 0;
}

}  // namespace

// A discrete numeric setting: its values in ascending order, the reply for
// each, the *RST value's index, and the unit its suffixes may give.
struct ScpiSession::Numbers {
  std::span<const double> values;
  std::span<const char* const> replies;
  int def;
  Dimension unit;
};

namespace {

constexpr double kGateValues[] = {1e-3, 1e-2, 1e-1, 1.0, 10.0};
constexpr double kStampValues[] = {1e-7, 1e-6, 1e-5, 1e-4, 1e-3};
constexpr double kAverageValues[] = {1, 10, 100, 1000, 10000};
constexpr const char* kAverageReplies[] = {"1", "10", "100", "1000", "10000"};
constexpr double kImpedanceValues[] = {50.0, 1e6};
constexpr const char* kImpedanceReplies[] = {"+5.0E+01", "+1.0E+06"};
constexpr double kAttenuationValues[] = {1.0, 10.0};
constexpr const char* kAttenuationReplies[] = {"1", "10"};
// The calibration value the panel starts with.
constexpr double kCalibrationStart = 127;
constexpr double kVariantValues[] = {1, 2, 3, 4};
constexpr const char* kVariantReplies[] = {"1", "2", "3", "4"};

}  // namespace

// ---- The error queue ----

void ErrorQueue::Push(Error e) {
  ++pushed_;
  if (q_.size() < kCapacity) {
    q_.push_back(std::move(e));
  } else {
    q_.back() = {err::kQueueOverflow, {}};
  }
}

std::optional<Error> ErrorQueue::Pop() {
  if (q_.empty()) return std::nullopt;
  Error e = std::move(q_.front());
  q_.pop_front();
  return e;
}

// ---- The session ----

ScpiSession::ScpiSession(Instrument& instrument, std::function<Identity()> identify, int maxSamples)
    : inst_(instrument), identify_(std::move(identify)), maxSamples_(maxSamples) {}

void ScpiSession::Fail(Error e) {
  // The event status bit of the error's class.
  const int c = e.code;
  if (c <= -100 && c > -200) esr_ |= 0x20;             // command error
  if (c <= -200 && c > -300) esr_ |= 0x10;             // execution error
  if ((c <= -300 && c > -400) || c > 0) esr_ |= 0x08;  // device-dependent error
  if (c <= -400 && c > -500) esr_ |= 0x04;             // query error
  lastErrors_.push_back(FormatError(e));
  errors_.Push(std::move(e));
}

bool ScpiSession::Fail(const Result& r) {
  if (r) Fail(*r);
  return r.has_value();
}

void ScpiSession::InputOverrun() {
  Fail({err::kInputOverrun, "the line passed 64 KiB"});
}

bool ScpiSession::Need() {
  return !Fail(inst_.Ready());
}

std::optional<std::string> ScpiSession::Execute(std::string_view line) {
  line = WithoutCr(line);
  lastErrors_.clear();
  std::optional<std::string> reply;
  for (std::string_view text : SplitUnits(line)) {
    if (IsBlank(text)) continue;
    Error e;
    const std::optional<Unit> unit = ParseUnit(text, e);
    if (!unit) {
      Fail(std::move(e));
      continue;
    }
    // Resolve against the current path, then from the root.
    const Header& h = unit->header;
    std::vector<std::vector<Node>> tries;
    if (!h.common && !h.absolute && !path_.empty()) {
      std::vector<Node> joined = path_;
      joined.insert(joined.end(), h.nodes.begin(), h.nodes.end());
      tries.push_back(std::move(joined));
    }
    tries.push_back(h.nodes);
    const Compiled* found = nullptr;
    MatchState m;
    for (const auto& nodes : tries) {
      for (const Compiled& c : Tree()) {
        MatchState s;
        if (!MatchFrom(nodes, 0, c.nodes, 0, s)) continue;
        if ((h.query ? c.entry->query : c.entry->set) == nullptr) continue;
        found = &c;
        m = s;
        break;
      }
      if (found != nullptr) {
        if (!h.common) path_.assign(nodes.begin(), nodes.end() - 1);
        break;
      }
    }
    if (found == nullptr) {
      Fail({err::kUndefinedHeader, {}});
      continue;
    }
    if (m.badSuffix) {
      Fail({err::kHeaderSuffix, {}});
      continue;
    }
    Call call{*unit, m.suffix, std::nullopt};
    (this->*(h.query ? found->entry->query : found->entry->set))(call);
    if (h.query && call.reply) {
      if (reply) {
        *reply += ';';
        *reply += *call.reply;
      } else {
        reply = std::move(call.reply);
      }
    }
  }
  return reply;
}

// ---- Parameters ----

bool ScpiSession::Arity(const Call& c, std::size_t min, std::size_t max) {
  const std::size_t n = c.unit.params.size();
  if (n < min) Fail({err::kMissingParameter, {}});
  if (n > max) Fail({err::kParameterNotAllowed, {}});
  return n >= min && n <= max;
}

std::optional<int> ScpiSession::Pick(const Call& c, std::size_t i, const Numbers& n) {
  const Param& p = c.unit.params[i];
  const int special = Special(p);
  if (special == 0) return 0;
  if (special == 1) return static_cast<int>(n.values.size()) - 1;
  if (special == 2) return n.def;
  if (p.kind != ParamKind::kNumber) {
    Fail({err::kDataType, {}});
    return std::nullopt;
  }
  const double factor = Multiplier(n.unit, p.suffix);
  if (factor == 0.0) {
    Fail({err::kInvalidSuffix, {}});
    return std::nullopt;
  }
  const double v = p.number * factor;
  for (std::size_t k = 0; k < n.values.size(); ++k) {
    if (Near(v, n.values[k])) return static_cast<int>(k);
  }
  Fail({err::kOutOfRange, {}});
  return std::nullopt;
}

std::optional<int> ScpiSession::Word(const Call& c, std::size_t i,
                                     std::initializer_list<const char*> words, int def) {
  const Param& p = c.unit.params[i];
  if (p.kind != ParamKind::kCharacter) {
    Fail({err::kDataType, {}});
    return std::nullopt;
  }
  if (Special(p) == 2) return def;
  int k = 0;
  for (const char* w : words) {
    if (IsWord(p.text, w)) return k;
    ++k;
  }
  Fail({err::kIllegalValue, {}});
  return std::nullopt;
}

std::optional<double> ScpiSession::Ranged(const Call& c, std::size_t i, double min, double max,
                                          double def) {
  const Param& p = c.unit.params[i];
  const int special = Special(p);
  if (special >= 0) return special == 0 ? min : special == 1 ? max : def;
  if (p.kind != ParamKind::kNumber) {
    Fail({err::kDataType, {}});
    return std::nullopt;
  }
  if (!p.suffix.empty()) {
    Fail({err::kInvalidSuffix, {}});
    return std::nullopt;
  }
  if (!(p.number >= min && p.number <= max)) {
    Fail({err::kOutOfRange, {}});
    return std::nullopt;
  }
  return p.number;
}

std::optional<bool> ScpiSession::Switch(const Call& c, std::size_t i) {
  const Param& p = c.unit.params[i];
  if (p.kind == ParamKind::kCharacter) {
    // MIN and DEF are off, MAX on.
    const int special = Special(p);
    if (p.text == "ON" || special == 1) return true;
    if (p.text == "OFF" || special == 0 || special == 2) return false;
    Fail({err::kIllegalValue, {}});
    return std::nullopt;
  }
  if (p.kind != ParamKind::kNumber) {
    Fail({err::kDataType, {}});
    return std::nullopt;
  }
  if (!p.suffix.empty()) {
    Fail({err::kInvalidSuffix, {}});
    return std::nullopt;
  }
  // A number is on unless it rounds to zero.
  return std::fabs(p.number) >= 0.5;
}

void ScpiSession::Reply(Call& c, const Numbers& n, int index) {
  if (!c.unit.params.empty()) {
    // "?" with MIN, MAX or DEF gives that value.
    if (!Arity(c, 0, 1)) return;
    const int special = Special(c.unit.params[0]);
    if (special < 0) {
      Fail({err::kIllegalValue, {}});
      return;
    }
    index = special == 0 ? 0 : special == 1 ? static_cast<int>(n.values.size()) - 1 : n.def;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= n.replies.size()) {
    Fail({err::kStale, "the instrument reported a value outside the list"});
    return;
  }
  c.reply = n.replies[static_cast<std::size_t>(index)];
}

std::optional<std::uint32_t> ScpiSession::InputChannel(const Call& c) {
  // Channel B has no input settings.
  if (c.suffix != 1 && c.suffix != 3) {
    Fail({err::kHeaderSuffix, "INPut takes 1 (channel A) or 3 (channel C)"});
    return std::nullopt;
  }
  return ChannelCode(c.suffix);
}

bool ScpiSession::Channels(const Call& c, std::size_t from, std::vector<int>& out) {
  for (std::size_t i = from; i < c.unit.params.size(); ++i) {
    const Param& p = c.unit.params[i];
    if (p.kind != ParamKind::kChannels) {
      Fail({err::kDataType, "a channel list such as (@1) was expected"});
      return false;
    }
    out.insert(out.end(), p.channels.begin(), p.channels.end());
  }
  for (int ch : out) {
    if (ch < 1 || ch > 3) {
      Fail({err::kOutOfRange, "the channels are (@1), (@2) and (@3)"});
      return false;
    }
  }
  return true;
}

// The function a CONFigure or MEASure header names, with its parameters.
std::optional<Configuration> ScpiSession::Target(const Call& c) {
  const std::vector<Node>& n = c.unit.header.nodes;
  // The function's nodes are the header's last one or two, the SCALar
  // node aside.
  std::string last = n.back().name;
  std::string before = n.size() >= 2 ? n[n.size() - 2].name : "";
  Configuration cfg;
  std::size_t first = 0;
  // A CONFigure's optional expected value and resolution may be DEF.
  if (IsWord(last, "RATio")) {
    cfg.function = Function::kRatio;
  } else if (IsWord(last, "PDURation")) {
    cfg.function = Function::kPulse;
    if (c.unit.params.empty() || c.unit.params[0].kind == ParamKind::kChannels) {
      Fail({err::kMissingParameter, "the variant, 1 to 4"});
      return std::nullopt;
    }
    const auto v = Pick(c, 0, {kVariantValues, kVariantReplies, 0, Dimension::kNone});
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
  while (first < c.unit.params.size() && Special(c.unit.params[first]) == 2) ++first;
  std::vector<int> channels;
  if (!Channels(c, first, channels)) return std::nullopt;
  if (cfg.function == Function::kRatio) {
    static constexpr std::array<std::array<int, 2>, 3> kPairs{{{1, 3}, {3, 1}, {2, 3}}};
    if (channels.empty()) {
      // The ratio in use, else the one that suits the active channel.
      const CounterState& s = inst_.State();
      cfg.variant = s.measureMode == protocol::mode::kRatio ? s.ratioVariant
                    : s.activeChannel == kChannelB          ? 2
                                                            : 0;
      return cfg;
    }
    for (std::size_t k = 0; k < kPairs.size(); ++k) {
      if (channels.size() == 2 && channels[0] == kPairs[k][0] && channels[1] == kPairs[k][1]) {
        cfg.variant = static_cast<int>(k);
        return cfg;
      }
    }
    Fail({err::kOutOfRange, "the ratios are (@1),(@3), (@3),(@1) and (@2),(@3)"});
    return std::nullopt;
  }
  if (channels.size() > 1) {
    Fail({err::kOutOfRange, "one channel only"});
    return std::nullopt;
  }
  if (!channels.empty()) cfg.channel = ChannelCode(channels[0]);
  return cfg;
}

// ---- Common commands ----

void ScpiSession::Idn(Call& c) {
  if (!Arity(c, 0, 0)) return;
  const Identity id = identify_();
  c.reply = id.manufacturer + "," + id.model + "," + id.serial + "," + id.version;
}

void ScpiSession::Rst(Call& c) {
  if (!Arity(c, 0, 0)) return;
  sampleCount_ = 1;
  initiated_ = false;
  readings_.clear();
  if (!Need()) return;
  Fail(inst_.Reset());
}

void ScpiSession::Cls(Call& c) {
  if (!Arity(c, 0, 0)) return;
  errors_.Clear();
  esr_ = 0;
}

void ScpiSession::Ese(Call& c) {
  if (!Arity(c, 1, 1)) return;
  if (const auto v = Ranged(c, 0, 0, 255, 0)) ese_ = static_cast<int>(std::lround(*v));
}

void ScpiSession::EseQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = Nr1(ese_);
}

void ScpiSession::EsrQ(Call& c) {
  if (!Arity(c, 0, 0)) return;
  c.reply = Nr1(esr_);
  esr_ = 0;
}

void ScpiSession::Opc(Call& c) {
  // Commands run one after the other: every one before this has ended.
  if (Arity(c, 0, 0)) esr_ |= 0x01;
}

void ScpiSession::OpcQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = "1";
}

void ScpiSession::Sre(Call& c) {
  if (!Arity(c, 1, 1)) return;
  if (const auto v = Ranged(c, 0, 0, 255, 0)) sre_ = static_cast<int>(std::lround(*v)) & ~0x40;
}

void ScpiSession::SreQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = Nr1(sre_);
}

void ScpiSession::StbQ(Call& c) {
  if (!Arity(c, 0, 0)) return;
  int stb = 0;
  if (errors_.Size() > 0) stb |= 0x04;  // error queue not empty
  if ((esr_ & ese_) != 0) stb |= 0x20;  // event status summary
  if ((stb & sre_) != 0) stb |= 0x40;   // master summary
  c.reply = Nr1(stb);
}

void ScpiSession::TstQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = inst_.SelfTest() ? "0" : "1";
}

void ScpiSession::Wai(Call& c) {
  Arity(c, 0, 0);
}

// ---- System ----

void ScpiSession::ErrorNext(Call& c) {
  if (!Arity(c, 0, 0)) return;
  const auto e = errors_.Pop();
  c.reply = e ? FormatError(*e) : FormatError({0, {}});
}

void ScpiSession::ErrorCount(Call& c) {
  if (Arity(c, 0, 0)) c.reply = Nr1(static_cast<long long>(errors_.Size()));
}

void ScpiSession::ErrorAll(Call& c) {
  if (!Arity(c, 0, 0)) return;
  std::string all;
  while (const auto e = errors_.Pop()) all += (all.empty() ? "" : ",") + FormatError(*e);
  c.reply = all.empty() ? FormatError({0, {}}) : all;
}

void ScpiSession::Version(Call& c) {
  if (Arity(c, 0, 0)) c.reply = "1999.0";
}

// ---- Measurement ----

void ScpiSession::Configure(Call& c) {
  const auto cfg = Target(c);
  if (!cfg || !Need()) return;
  initiated_ = false;
  readings_.clear();
  Fail(inst_.Configure(*cfg));
}

void ScpiSession::ConfigureQ(Call& c) {
  if (!Arity(c, 0, 0)) return;
  const Configuration cfg = inst_.Current();
  const int ch = ChannelNumber(cfg.channel.value_or(0));
  std::string text;
  switch (cfg.function) {
    case Function::kFrequency:
      text = "FREQ";
      break;
    case Function::kPeriod:
      text = "PER";
      break;
    case Function::kPulse:
      text = "PDUR " + Nr1(cfg.variant + 1);
      break;
    case Function::kRatio: {
      static constexpr const char* kPairs[] = {"(@1),(@3)", "(@3),(@1)", "(@2),(@3)"};
      const bool known = cfg.variant >= 0 && cfg.variant <= 2;
      c.reply = std::string("\"FREQ:RAT") +
                (known ? std::string(" ") + kPairs[cfg.variant] : std::string()) + "\"";
      return;
    }
    case Function::kTachometer:
      text = "TACH";
      break;
    case Function::kDutyCycle:
      text = "DCYC";
      break;
    case Function::kCount:
      text = cfg.variant == 0 ? "TOT:DUR" : cfg.variant == 1 ? "TOT:PER" : "TOT";
      break;
  }
  if (ch != 0) text += " (@" + Nr1(ch) + ")";
  c.reply = "\"" + text + "\"";
}

// A reading query on a lost line still answers, with the SCPI not-a-number
// for each reading, so that a client does not wait out its time-out; the
// hardware error is in the queue.
void ScpiSession::NoReadings(Call& c) {
  std::string text;
  for (int i = 0; i < sampleCount_; ++i) text += (i == 0 ? "" : ",") + std::string(kNotANumber);
  c.reply = std::move(text);
}

void ScpiSession::Measure(Call& c) {
  const auto cfg = Target(c);
  if (!cfg) return;
  if (!Need()) return NoReadings(c);
  readings_.clear();
  if (Fail(inst_.Configure(*cfg))) return;
  Acquire(c);
}

void ScpiSession::Initiate(Call& c) {
  if (!Arity(c, 0, 0) || !Need()) return;
  readings_.clear();
  inst_.Arm();
  initiated_ = true;
}

void ScpiSession::Fetch(Call& c) {
  if (Arity(c, 0, 0)) Readings(c);
}

// FETCh?'s reply, for READ? and MEASure? too, whose parameters were checked
// by their own rules.
void ScpiSession::Readings(Call& c) {
  if (initiated_) {
    initiated_ = false;
    if (!Need()) return NoReadings(c);
    std::vector<Error> errors;
    std::vector<std::string> readings;
    const bool ok = inst_.Acquire(sampleCount_, true, readings, errors);
    for (Error& e : errors) Fail(std::move(e));
    if (!ok) return NoReadings(c);
    readings_ = std::move(readings);
  }
  if (readings_.empty()) {
    Fail({err::kStale, "no reading: INITiate first"});
    return;
  }
  std::string text;
  for (const std::string& r : readings_) text += (text.empty() ? "" : ",") + r;
  c.reply = std::move(text);
}

void ScpiSession::Read(Call& c) {
  if (!Arity(c, 0, 0)) return;
  if (!Need()) return NoReadings(c);
  Acquire(c);
}

void ScpiSession::Acquire(Call& c) {
  readings_.clear();
  inst_.Arm();
  initiated_ = true;
  Readings(c);
}

void ScpiSession::Abort(Call& c) {
  if (!Arity(c, 0, 0)) return;
  initiated_ = false;
  readings_.clear();
}

void ScpiSession::Continuous(Call& c) {
  if (!Arity(c, 1, 1)) return;
  const auto on = Switch(c, 0);
  if (on && Need()) Fail(inst_.SetLaunch(!*on));
}

void ScpiSession::ContinuousQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = inst_.State().singleShot == 0 ? "1" : "0";
}

void ScpiSession::SampleCount(Call& c) {
  if (!Arity(c, 1, 1)) return;
  if (const auto v = Ranged(c, 0, 1, maxSamples_, 1))
    sampleCount_ = static_cast<int>(std::lround(*v));
}

void ScpiSession::SampleCountQ(Call& c) {
  if (c.unit.params.empty()) {
    c.reply = Nr1(sampleCount_);
  } else if (Arity(c, 0, 1)) {
    if (const auto v = Ranged(c, 0, 1, maxSamples_, 1)) c.reply = Nr1(std::lround(*v));
  }
}

// ---- Settings ----

void ScpiSession::Gate(Call& c) {
  if (!Arity(c, 1, 1)) return;
  const Numbers n{kGateValues, std::span(kDecadeReplies).subspan(4), 2, Dimension::kTime};
  if (const auto i = Pick(c, 0, n); i && Need()) Fail(inst_.SetGate(*i + 1));
}

void ScpiSession::GateQ(Call& c) {
  const Numbers n{kGateValues, std::span(kDecadeReplies).subspan(4), 2, Dimension::kTime};
  Reply(c, n, static_cast<int>(inst_.State().gateIndex) - 1);
}

void ScpiSession::Average(Call& c) {
  if (!Arity(c, 1, 1)) return;
  const Numbers n{kAverageValues, kAverageReplies, 2, Dimension::kNone};
  if (const auto i = Pick(c, 0, n); i && Need()) Fail(inst_.SetGate(*i + 1));
}

void ScpiSession::AverageQ(Call& c) {
  const Numbers n{kAverageValues, kAverageReplies, 2, Dimension::kNone};
  Reply(c, n, static_cast<int>(inst_.State().gateIndex) - 1);
}

void ScpiSession::Timestamp(Call& c) {
  if (!Arity(c, 1, 1)) return;
  const Numbers n{kStampValues, std::span(kDecadeReplies).first(5), 1, Dimension::kTime};
  if (const auto i = Pick(c, 0, n); i && Need()) Fail(inst_.SetTimestamp(*i + 1));
}

void ScpiSession::TimestampQ(Call& c) {
  const Numbers n{kStampValues, std::span(kDecadeReplies).first(5), 1, Dimension::kTime};
  Reply(c, n, static_cast<int>(inst_.State().timestampIndex) - 1);
}

void ScpiSession::Oscillator(Call& c) {
  if (!Arity(c, 1, 1)) return;
  if (const auto i = Word(c, 0, {"INTernal", "EXTernal"}, 0); i && Need()) {
    Fail(inst_.SetGenerator(*i));
  }
}

void ScpiSession::OscillatorQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = inst_.State().generator == 1 ? "EXT" : "INT";
}

void ScpiSession::Test(Call& c) {
  if (!Arity(c, 1, 1)) return;
  if (const auto on = Switch(c, 0); on && Need()) Fail(inst_.SetTest(*on));
}

void ScpiSession::TestQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = inst_.State().test == 1 ? "1" : "0";
}

void ScpiSession::Memory(Call& c) {
  if (!Arity(c, 1, 1)) return;
  if (const auto on = Switch(c, 0); on && Need()) Fail(inst_.SetMemory(*on));
}

void ScpiSession::MemoryQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = inst_.State().memory == 1 ? "1" : "0";
}

void ScpiSession::CalValue(Call& c) {
  if (!Arity(c, 1, 1)) return;
  const auto v = Ranged(c, 0, 0, 255, kCalibrationStart);
  if (v && Need()) Fail(inst_.SetCalibration(static_cast<int>(std::lround(*v))));
}

void ScpiSession::CalValueQ(Call& c) {
  if (Arity(c, 0, 0)) c.reply = Nr1(inst_.CalibrationValue());
}

void ScpiSession::CalStore(Call& c) {
  if (Arity(c, 0, 0) && Need()) Fail(inst_.StoreCalibration());
}

void ScpiSession::Impedance(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 1, 1)) return;
  const Numbers n{kImpedanceValues, kImpedanceReplies, 1, Dimension::kOhm};
  if (const auto i = Pick(c, 0, n); i && Need()) {
    Fail(inst_.SetInput(*ch, InputField::kImpedance, *i));
  }
}

void ScpiSession::ImpedanceQ(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch) return;
  const Numbers n{kImpedanceValues, kImpedanceReplies, 1, Dimension::kOhm};
  const CounterState& s = inst_.State();
  Reply(c, n, (*ch == kChannelA ? s.inputA : s.inputC).impedance);
}

void ScpiSession::Coupling(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 1, 1)) return;
  // List entry 0 " =~ " passes DC, entry 1 " ~ " AC only.
  if (const auto i = Word(c, 0, {"DC", "AC"}, 0); i && Need()) {
    Fail(inst_.SetInput(*ch, InputField::kCoupling, *i));
  }
}

void ScpiSession::CouplingQ(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 0, 0)) return;
  const CounterState& s = inst_.State();
  c.reply = (*ch == kChannelA ? s.inputA : s.inputC).coupling == 1 ? "AC" : "DC";
}

void ScpiSession::Attenuation(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 1, 1)) return;
  const Numbers n{kAttenuationValues, kAttenuationReplies, 0, Dimension::kNone};
  if (const auto i = Pick(c, 0, n); i && Need()) {
    Fail(inst_.SetInput(*ch, InputField::kAttenuator, *i));
  }
}

void ScpiSession::AttenuationQ(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch) return;
  const Numbers n{kAttenuationValues, kAttenuationReplies, 0, Dimension::kNone};
  const CounterState& s = inst_.State();
  Reply(c, n, (*ch == kChannelA ? s.inputA : s.inputC).attenuator);
}

void ScpiSession::Filter(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 1, 1)) return;
  if (const auto on = Switch(c, 0); on && Need()) {
    Fail(inst_.SetInput(*ch, InputField::kFilter, *on ? 1 : 0));
  }
}

void ScpiSession::FilterQ(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 0, 0)) return;
  const CounterState& s = inst_.State();
  c.reply = (*ch == kChannelA ? s.inputA : s.inputC).lowPassFilter == 1 ? "1" : "0";
}

void ScpiSession::Slope(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 1, 1)) return;
  // The check box unchecked is the rising edge, checked the falling one.
  if (const auto i = Word(c, 0, {"POSitive", "NEGative"}, 0); i && Need()) {
    Fail(inst_.SetInput(*ch, InputField::kSlope, *i));
  }
}

void ScpiSession::SlopeQ(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 0, 0)) return;
  const CounterState& s = inst_.State();
  c.reply = (*ch == kChannelA ? s.inputA : s.inputC).slope == 1 ? "NEG" : "POS";
}

void ScpiSession::Level(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 1, 1)) return;
  // DEF is the reset button: the middle, by its own rule.
  if (Special(c.unit.params[0]) == 2) {
    if (Need()) Fail(inst_.ResetLevel(*ch));
    return;
  }
  const auto v = Ranged(c, 0, -512, 504, 0);
  if (!v || !Need()) return;
  const int position = static_cast<int>(std::lround((*v + 512.0) / 8.0));
  Fail(inst_.SetLevel(*ch, position));
}

void ScpiSession::LevelQ(Call& c) {
  const auto ch = InputChannel(c);
  if (!ch || !Arity(c, 0, 1)) return;
  if (c.unit.params.empty()) {
    c.reply = Nr1(inst_.LevelPosition(*ch) * 8 - 512);
  } else if (Special(c.unit.params[0]) < 0) {
    Fail({err::kIllegalValue, {}});
  } else if (const auto v = Ranged(c, 0, -512, 504, 0)) {
    c.reply = Nr1(std::lround(*v));
  }
}

}  // namespace kolvane::scpi
