#include "record/summary.h"

#include <array>
#include <charconv>
#include <cmath>

namespace kolvane::record {

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out + '"';
}

std::string Field(const char* key, const std::string& value, bool last = false) {
  return std::string("  \"") + key + "\": " + value + (last ? "\n" : ",\n");
}

std::string Count(std::size_t n) {
  return std::to_string(n);
}

}  // namespace

std::string JsonNumber(double v) {
  if (!std::isfinite(v)) return "null";
  std::array<char, 32> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
  return std::string(buf.data(), r.ptr);
}

std::string General(double v, int digits) {
  if (std::isnan(v)) return "-";
  std::array<char, 64> buf{};
  const auto r =
      std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::general, digits);
  return std::string(buf.data(), r.ptr);
}

std::string SummaryJson(const Summary& s) {
  std::string out = "{\n";
  out += Field("readings", Count(s.readings));
  out += Field("overflows", Count(s.overflows));
  out += Field("stops", Count(s.stops));
  out += Field("mode", s.mode.empty() ? "null" : Quoted(s.mode));
  out += Field("unit", s.hasUnit ? Quoted(s.unit) : "null");
  out += Field("mean", JsonNumber(s.mean));
  out += Field("stdev", JsonNumber(s.stdev));
  // Extremes are readings: written as shown, not as their nearest binary value.
  const auto shown = [&](double v) {
    return std::isfinite(v) ? FormatFixed(v, s.decimals) : std::string("null");
  };
  out += Field("min", shown(s.min));
  out += Field("max", shown(s.max));
  out += Field("tau0_s", JsonNumber(s.tau0S));
  std::string adev = "[";
  for (std::size_t i = 0; i < s.adev.size(); ++i) {
    const AdevPoint& p = s.adev[i];
    adev += i == 0 ? "\n    " : ",\n    ";
    adev += "{\"tau_s\": " + JsonNumber(p.tauS) + ", \"adev\": " + JsonNumber(p.adev) +
            ", \"terms\": " + Count(p.terms) + "}";
  }
  adev += s.adev.empty() ? "]" : "\n  ]";
  out += Field("adev", adev, true);
  return out + "}\n";
}

std::string SummaryText(const Summary& s) {
  const std::string unit = s.unit.empty() ? "" : " " + s.unit;
  std::string out = "Readings: " + Count(s.readings) + " ok, " + Count(s.overflows) +
                    " overflows, " + Count(s.stops) + " stops";
  if (!s.mode.empty()) out += ", mode " + s.mode;
  out += '\n';
  if (s.readings == 0) return out;
  out += "Mean:     " + General(s.mean, 10) + " +/- " + General(s.stdev, 4) + unit +
         " (sample standard deviation)\n";
  out += "Min, max: " + FormatFixed(s.min, s.decimals) + ", " + FormatFixed(s.max, s.decimals) +
         unit + '\n';
  if (!std::isnan(s.tau0S)) out += "Interval: " + General(s.tau0S, 6) + " s (median)\n";
  if (s.adev.empty()) return out;
  out += "Allan deviation:\n  tau (s)       adev          terms\n";
  for (const AdevPoint& p : s.adev) {
    std::string tau = General(p.tauS, 6);
    std::string adev = General(p.adev, 4);
    tau.resize(std::max<std::size_t>(tau.size(), 14), ' ');
    adev.resize(std::max<std::size_t>(adev.size(), 14), ' ');
    out += "  " + tau + adev + Count(p.terms) + '\n';
  }
  return out;
}

}  // namespace kolvane::record
