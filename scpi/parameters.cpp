#include "scpi/parameters.h"

#include <cmath>

#include "protocol/protocol.h"

namespace kolvane::scpi {

namespace {

bool Near(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::fmax(std::fabs(a), std::fabs(b));
}

// The multiplier of a unit suffix; 0 when the suffix is not one of them.
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

// A number without a unit suffix, else -104 or -131.
bool PlainNumber(Call& c, const Param& p) {
  if (p.kind != ParamKind::kNumber) {
    c.ctx.Fail({err::kDataType, {}});
    return false;
  }
  if (!p.suffix.empty()) {
    c.ctx.Fail({err::kInvalidSuffix, {}});
    return false;
  }
  return true;
}

}  // namespace

int Special(const Param& p) {
  if (p.kind != ParamKind::kCharacter) return -1;
  const std::string& t = p.text;
  if (t == "MIN" || t == "MINIMUM") return 0;
  if (t == "MAX" || t == "MAXIMUM") return 1;
  if (t == "DEF" || t == "DEFAULT") return 2;
  return -1;
}

bool IsWord(const std::string& text, const char* word) {
  std::string longForm;
  for (const char* c = word; *c != '\0'; ++c) {
    longForm += static_cast<char>(*c >= 'a' && *c <= 'z' ? *c - 'a' + 'A' : *c);
  }
  return text == ShortForm(word) || text == longForm;
}

std::string ShortForm(const char* word) {
  std::string s;
  for (const char* c = word; *c != '\0'; ++c) {
    if (*c >= 'A' && *c <= 'Z') s += *c;
  }
  return s;
}

std::string Nr1(long long v) {
  return std::to_string(v);
}

// SCPI numbers the channels from 1, in the instrument's order.
int ChannelNumber(std::uint32_t code) {
  return protocol::ChannelIndex(code) + 1;
}

std::uint32_t ChannelCode(int number) {
  const auto& codes = protocol::kChannels;
  return number >= 1 && number <= static_cast<int>(codes.size())
             ? codes[static_cast<std::size_t>(number - 1)]
             : 0;
}

bool Arity(Call& c, std::size_t min, std::size_t max) {
  const std::size_t n = c.unit.params.size();
  if (n < min) c.ctx.Fail({err::kMissingParameter, {}});
  if (n > max) c.ctx.Fail({err::kParameterNotAllowed, {}});
  return n >= min && n <= max;
}

std::optional<int> Pick(Call& c, std::size_t i, const Values& v) {
  const Param& p = c.unit.params[i];
  const int special = Special(p);
  if (special == 0) return 0;
  if (special == 1) return static_cast<int>(v.numbers.size()) - 1;
  if (special == 2) return v.def;
  if (p.kind != ParamKind::kNumber) {
    c.ctx.Fail({err::kDataType, {}});
    return std::nullopt;
  }
  const double factor = Multiplier(v.unit, p.suffix);
  if (factor == 0.0) {
    c.ctx.Fail({err::kInvalidSuffix, {}});
    return std::nullopt;
  }
  const double x = p.number * factor;
  for (std::size_t k = 0; k < v.numbers.size(); ++k) {
    if (Near(x, v.numbers[k])) return static_cast<int>(k);
  }
  c.ctx.Fail({err::kOutOfRange, {}});
  return std::nullopt;
}

std::optional<int> Word(Call& c, std::size_t i, std::span<const char* const> words, int def) {
  const Param& p = c.unit.params[i];
  if (p.kind != ParamKind::kCharacter) {
    c.ctx.Fail({err::kDataType, {}});
    return std::nullopt;
  }
  if (Special(p) == 2) return def;
  for (std::size_t k = 0; k < words.size(); ++k) {
    if (IsWord(p.text, words[k])) return static_cast<int>(k);
  }
  c.ctx.Fail({err::kIllegalValue, {}});
  return std::nullopt;
}

std::optional<double> Ranged(Call& c, std::size_t i, double min, double max, double def) {
  const Param& p = c.unit.params[i];
  const int special = Special(p);
  if (special >= 0) return special == 0 ? min : special == 1 ? max : def;
  if (!PlainNumber(c, p)) return std::nullopt;
  if (!(p.number >= min && p.number <= max)) {
    c.ctx.Fail({err::kOutOfRange, {}});
    return std::nullopt;
  }
  return p.number;
}

std::optional<bool> Switch(Call& c, std::size_t i) {
  const Param& p = c.unit.params[i];
  if (p.kind == ParamKind::kCharacter) {
    // MIN and DEF are off, MAX on.
    const int special = Special(p);
    if (p.text == "ON" || special == 1) return true;
    if (p.text == "OFF" || special == 0 || special == 2) return false;
    c.ctx.Fail({err::kIllegalValue, {}});
    return std::nullopt;
  }
  if (!PlainNumber(c, p)) return std::nullopt;
  // A number is on unless it rounds to zero.
  return std::fabs(p.number) >= 0.5;
}

void Reply(Call& c, const Values& v, int index) {
  if (!c.unit.params.empty()) {
    if (!Arity(c, 0, 1)) return;
    const int special = Special(c.unit.params[0]);
    if (special < 0) {
      c.ctx.Fail({err::kIllegalValue, {}});
      return;
    }
    index = special == 0 ? 0 : special == 1 ? static_cast<int>(v.numbers.size()) - 1 : v.def;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= v.names.size()) {
    c.ctx.Fail({err::kStale, "the instrument reported a value outside the list"});
    return;
  }
  c.reply = v.names[static_cast<std::size_t>(index)];
}

bool Channels(Call& c, std::size_t from, std::vector<int>& out) {
  for (std::size_t i = from; i < c.unit.params.size(); ++i) {
    const Param& p = c.unit.params[i];
    if (p.kind != ParamKind::kChannels) {
      c.ctx.Fail({err::kDataType, "a channel list such as (@1) was expected"});
      return false;
    }
    out.insert(out.end(), p.channels.begin(), p.channels.end());
  }
  for (int ch : out) {
    if (ch < 1 || ch > 3) {
      c.ctx.Fail({err::kOutOfRange, "the channels are (@1), (@2) and (@3)"});
      return false;
    }
  }
  return true;
}

std::optional<std::uint32_t> InputChannel(Call& c) {
  // Channel B has no input settings.
  if (c.suffix != 1 && c.suffix != 3) {
    c.ctx.Fail({err::kHeaderSuffix, "INPut takes 1 (channel A) or 3 (channel C)"});
    return std::nullopt;
  }
  return ChannelCode(c.suffix);
}

}  // namespace kolvane::scpi
