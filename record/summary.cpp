#include "record/summary.h"

#include <algorithm>
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

std::string AnalysisJson(const Summary& s) {
  const StabilityResult& r = s.stability;
  std::string deviations = "null";
  if (s.deviationsApply) {
    deviations = "{";
    for (std::size_t c = 0; c < r.curves.size(); ++c) {
      const DeviationCurve& curve = r.curves[c];
      deviations += c == 0 ? "\n    " : ",\n    ";
      deviations += Quoted(std::string(DeviationName(curve.kind))) + ": [";
      for (std::size_t i = 0; i < curve.points.size(); ++i) {
        const DeviationPoint& p = curve.points[i];
        deviations += i == 0 ? "\n      " : ",\n      ";
        deviations +=
            "{\"tau_s\": " + JsonNumber(p.tau) + ", \"value\": " + JsonNumber(p.value) +
            ", \"terms\": " + std::to_string(p.terms) + ", \"edf\": " + JsonNumber(p.edf) +
            ", \"low\": " + JsonNumber(p.low) + ", \"high\": " + JsonNumber(p.high) +
            ", \"noise\": " + (p.noise ? Quoted(std::string(NoiseName(*p.noise))) : "null") + "}";
      }
      deviations += curve.points.empty() ? "]" : "\n    ]";
    }
    deviations += r.curves.empty() ? "}" : "\n  }";
  }
  std::string drift = "null";
  if (r.drift) {
    drift = "{\"per_s\": " + JsonNumber(r.drift->perS) +
            ", \"per_day\": " + JsonNumber(r.drift->perDay) +
            ", \"removed\": " + (r.drift->removed ? "true" : "false") + "}";
  }
  const std::string gaps = "{\"missing\": " + std::to_string(r.gaps.missing) +
                           ", \"intervals\": " + std::to_string(r.gaps.intervals) + "}";
  return Field("deviations", deviations) + Field("drift", drift) + Field("gaps", gaps, true);
}

// Columns of at least `width` characters.
std::string Column(std::string text, std::size_t width) {
  text.resize(std::max(text.size() + 1, width), ' ');
  return text;
}

std::string AnalysisText(const Summary& s) {
  const StabilityResult& r = s.stability;
  std::string out;
  if (!s.deviationsApply) {
    out += "Deviations: none";
    if (!s.mode.empty()) out += " for mode " + s.mode;
    out += " (frequency and period readings only)\n";
  } else {
    bool any = false;
    for (const DeviationCurve& c : r.curves) any = any || !c.points.empty();
    if (!any) {
      out += "Deviations: too few points\n";
    } else {
      out += "Deviations of the fractional frequency, with 68.3 % confidence intervals:\n  " +
             Column("dev", 8) + Column("tau (s)", 12) + Column("value", 12) + Column("low", 12) +
             Column("high", 12) + Column("terms", 10) + Column("edf", 10) + "noise\n";
      for (const DeviationCurve& c : r.curves) {
        for (const DeviationPoint& p : c.points) {
          out += "  " + Column(std::string(DeviationName(c.kind)), 8) +
                 Column(General(p.tau, 6), 12) + Column(General(p.value, 4), 12) +
                 Column(General(p.low, 4), 12) + Column(General(p.high, 4), 12) +
                 Column(Count(p.terms), 10) + Column(General(p.edf, 4), 10) +
                 (p.noise ? std::string(NoiseName(*p.noise)) : "-") + "\n";
        }
      }
    }
    if (r.drift) {
      out += "Drift:    " + General(r.drift->perDay, 4) + " per day (" + General(r.drift->perS, 4) +
             " per s)" + (r.drift->removed ? ", removed before the deviations" : "") + "\n";
    }
  }
  if (r.gaps.missing > 0) {
    out += "Missing:  " + std::to_string(r.gaps.missing) +
           (r.gaps.missing == 1 ? " point in " : " points in ") + std::to_string(r.gaps.intervals) +
           (r.gaps.intervals == 1 ? " gap" : " gaps") + "; no term spans one\n";
  }
  return out;
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
    if (s.plainNumbers) return JsonNumber(v);
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
  out += Field("adev", adev, !s.analysed);
  if (s.analysed) out += AnalysisJson(s);
  return out + "}\n";
}

std::string SummaryText(const Summary& s) {
  const std::string unit = s.unit.empty() ? "" : " " + s.unit;
  std::string out = "Readings: " + Count(s.readings) + " ok, " + Count(s.overflows) +
                    " overflows, " + Count(s.stops) + " stops";
  if (!s.mode.empty()) out += ", mode " + s.mode;
  out += '\n';
  if (s.readings == 0) return out + (s.analysed ? AnalysisText(s) : "");
  out += "Mean:     " + General(s.mean, 10) + " +/- " + General(s.stdev, 4) + unit +
         " (sample standard deviation)\n";
  const auto shown = [&](double v) {
    return s.plainNumbers ? General(v, 10) : FormatFixed(v, s.decimals);
  };
  out += "Min, max: " + shown(s.min) + ", " + shown(s.max) + unit + '\n';
  if (!std::isnan(s.tau0S)) {
    out += "Interval: " + General(s.tau0S, 6) + (s.plainNumbers ? " s\n" : " s (median)\n");
  }
  if (s.adev.empty()) return out + (s.analysed ? AnalysisText(s) : "");
  out += "Allan deviation:\n  tau (s)       adev          terms\n";
  for (const AdevPoint& p : s.adev) {
    std::string tau = General(p.tauS, 6);
    std::string adev = General(p.adev, 4);
    tau.resize(std::max<std::size_t>(tau.size(), 14), ' ');
    adev.resize(std::max<std::size_t>(adev.size(), 14), ' ');
    out += "  " + tau + adev + Count(p.terms) + '\n';
  }
  return out + (s.analysed ? AnalysisText(s) : "");
}

}  // namespace kolvane::record
