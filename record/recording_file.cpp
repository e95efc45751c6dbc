#include "record/recording_file.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <utility>

#include "record/csv.h"

namespace kolvane::record {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The file's lines, each without its line feed and carriage return. Blank
// lines at the very end are no lines.
class Lines {
 public:
  explicit Lines(std::string_view text) : rest_(text) {
    while (!rest_.empty() && (rest_.back() == '\n' || rest_.back() == '\r' || rest_.back() == ' ' ||
                              rest_.back() == '\t')) {
      rest_.remove_suffix(1);
    }
  }
  bool Next(std::string_view* line) {
    if (done_) return false;
    const auto end = rest_.find('\n');
    *line = rest_.substr(0, end);
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    if (end == std::string_view::npos) {
      done_ = true;
    } else {
      rest_.remove_prefix(end + 1);
    }
    ++number_;
    return true;
  }
  std::size_t Number() const { return number_; }

 private:
  std::string_view rest_;
  bool done_ = false;
  std::size_t number_ = 0;
};

// A piece of the file quoted in a message, cut short when long.
std::string Quote(std::string_view text) {
  constexpr std::size_t kMax = 40;
  std::string out = "'";
  out += text.substr(0, kMax);
  if (text.size() > kMax) out += "...";
  return out + "'";
}

template <typename T>
bool Whole(std::string_view text, T* out, std::chars_format format = std::chars_format::general) {
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), *out, format);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// "2026-12-07T17:15:25.758Z", as the recorder writes it.
bool TimeStamp(std::string_view t) {
  constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd.dddZ";
  if (t.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (kShape[i] == 'd' ? (t[i] < '0' || t[i] > '9') : t[i] != kShape[i]) return false;
  }
  return true;
}

struct ModeEntry {
  std::string_view name;
  std::uint32_t code;
};
// The CSV's mode names and a code of each; "count" stands for all three.
constexpr std::array<ModeEntry, 10> kModes{{{"f", 1},
                                            {"T", 2},
                                            {"DL1", 3},
                                            {"DL2", 4},
                                            {"DL3", 5},
                                            {"DL4", 6},
                                            {"count", 7},
                                            {"ratio", 10},
                                            {"tacho", 11},
                                            {"duty", 12}}};

std::optional<ReadingUnit> UnitFromName(std::string_view name) {
  if (name == "kHz") return ReadingUnit::Kilohertz;
  if (name == "us") return ReadingUnit::Microseconds;
  if (name == "ms") return ReadingUnit::Milliseconds;
  if (name.empty()) return ReadingUnit::None;
  return std::nullopt;
}

// Frequency is always shown in kHz, a period in us or ms; the analysis
// relies on it.
bool UnitFits(std::uint32_t mode, ReadingUnit unit) {
  if (mode == 1) return unit == ReadingUnit::Kilohertz;
  if (mode == 2) return unit == ReadingUnit::Microseconds || unit == ReadingUnit::Milliseconds;
  return true;
}

class CsvReader {
 public:
  CsvReader(Recording* out) : out_(out) {}

  // One data line; false with *why when it is malformed.
  bool Row(std::string_view line, std::string* why) {
    std::array<std::string_view, 6> f;
    std::size_t count = 0;
    for (std::size_t start = 0;;) {
      const auto comma = line.find(',', start);
      if (count < f.size()) f[count] = line.substr(start, comma - start);
      ++count;
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    if (count != f.size()) {
      *why = "expected 6 fields (" + std::string(kCsvHeader) + "), found " + std::to_string(count);
      return false;
    }
    const auto& [time, elapsedText, modeText, valueText, unitText, statusText] = f;
    if (!TimeStamp(time)) return Bad("time", time, why);
    double elapsed = 0;
    if (!Whole(elapsedText, &elapsed, std::chars_format::fixed) || !std::isfinite(elapsed) ||
        elapsed < 0) {
      return Bad("elapsed_s", elapsedText, why);
    }
    if (elapsed < lastElapsed_) {
      *why =
          "elapsed_s goes back from " + std::string(lastText_) + " to " + std::string(elapsedText);
      return false;
    }
    ShownReading shown;
    for (const ModeEntry& m : kModes) {
      if (m.name == modeText) shown.measureMode = m.code;
    }
    if (shown.measureMode == 0) return Bad("mode", modeText, why);

    if (statusText == "ok") {
      const auto unit = UnitFromName(unitText);
      if (!unit) return Bad("unit", unitText, why);
      if (!UnitFits(shown.measureMode, *unit)) {
        *why = "unit " + Quote(unitText) + " does not go with mode " + std::string(modeText);
        return false;
      }
      double value = 0;
      if (!Whole(valueText, &value, std::chars_format::fixed) || !std::isfinite(value)) {
        return Bad("value", valueText, why);
      }
      const auto point = valueText.find('.');
      const int decimals =
          point == std::string_view::npos ? 0 : static_cast<int>(valueText.size() - point - 1);
      shown.reading = {value, {*unit, decimals}};
    } else if (statusText == "OL" || statusText == "stop") {
      if (!valueText.empty() || !unitText.empty()) {
        *why = "a row with status " + std::string(statusText) + " has no value and no unit";
        return false;
      }
      if (statusText == "OL") {
        shown.reading.format.unit = ReadingUnit::Overflow;
      } else {
        shown.kind = ShownKind::Stop;
      }
    } else {
      return Bad("status", statusText, why);
    }
    lastElapsed_ = elapsed;
    lastText_ = elapsedText;
    out_->stats.Add(shown, elapsed);
    out_->grid.Add(shown, elapsed);
    return true;
  }

 private:
  static bool Bad(const char* field, std::string_view text, std::string* why) {
    *why = std::string("bad ") + field + " " + Quote(text);
    return false;
  }

  Recording* out_;
  double lastElapsed_ = 0;
  std::string_view lastText_;
};

bool ParseCsv(Lines& lines, const std::string& name, Recording* out, std::string* error) {
  out->csv = true;
  CsvReader reader(out);
  std::string why;
  for (std::string_view line; lines.Next(&line);) {
    if (!reader.Row(line, &why)) {
      *error = name + ":" + std::to_string(lines.Number()) + ": " + why;
      return false;
    }
  }
  std::size_t badRow = 0;
  if (!out->grid.Build(&out->input, &badRow, &why)) {
    *error = name + ":" + std::to_string(badRow + 2) + ": " + why;  // the header is line 1
    return false;
  }
  out->applies = out->grid.Applies();
  return true;
}

bool ParsePlain(Lines& lines, std::string_view first, const std::string& name,
                const PlainNumbers& plain, Recording* out, std::string* error) {
  if (!plain.tau0S) {
    *error = name + ": a plain file of numbers needs --tau0, the interval between them in seconds";
    return false;
  }
  const double tau0 = *plain.tau0S;
  std::vector<double>& values = out->input.values;
  Summary& s = out->plainSummary;
  s.plainNumbers = true;
  s.plainKind = plain.phase        ? PlainKind::kPhase
                : plain.fractional ? PlainKind::kFractional
                                   : PlainKind::kFrequency;
  s.tau0S = tau0;
  double mean = 0, m2 = 0;
  std::string_view line = first;
  do {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    double v = 0;
    const auto fail = [&](const std::string& why) {
      *error = name + ":" + std::to_string(lines.Number()) + ": " + why;
      return false;
    };
    if (line.empty()) return fail("empty line (a missing point is written nan)");
    if (!Whole(line, &v)) return fail("not a number: " + Quote(line));
    if (std::isinf(v)) return fail("not a finite number: " + Quote(line));
    values.push_back(v);
    if (std::isnan(v)) continue;
    // Welford's update, as the recording statistics make it.
    ++s.readings;
    const double delta = v - mean;
    mean += delta / static_cast<double>(s.readings);
    m2 += delta * (v - mean);
    s.min = s.readings == 1 ? v : std::min(s.min, v);
    s.max = s.readings == 1 ? v : std::max(s.max, v);
    out->plainSeries.Add(static_cast<double>(values.size() - 1) * tau0, v);
  } while (lines.Next(&line));
  s.mean = s.readings > 0 ? mean : kNaN;
  s.stdev = s.readings > 1 ? std::sqrt(m2 / static_cast<double>(s.readings - 1)) : kNaN;
  if (s.readings == 0) s.min = s.max = kNaN;

  out->input.tau0 = tau0;
  out->input.phase = plain.phase;
  if (!plain.phase && !plain.fractional) {
    for (double& v : values) v = (v - s.mean) / s.mean;
  }
  out->applies = true;
  return true;
}

}  // namespace

bool ParseRecording(std::string_view text, const std::string& name, const PlainNumbers& plain,
                    Recording* out, std::string* error) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
  Lines lines(text);
  std::string_view first;
  if (!lines.Next(&first) ||
      (first.empty() && text.find_first_not_of(" \t\r\n") == std::string_view::npos)) {
    *error = name + ": the file is empty";
    return false;
  }
  if (first == kCsvHeader) {
    if (plain.given) {
      *error = name +
               ": --tau0, --phase and --fractional are for a plain file of numbers; this is "
               "Kolvane's CSV, whose interval comes from elapsed_s";
      return false;
    }
    return ParseCsv(lines, name, out, error);
  }
  return ParsePlain(lines, first, name, plain, out, error);
}

bool ReadRecording(const std::filesystem::path& path, const std::string& name,
                   const PlainNumbers& plain, Recording* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = name + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  std::string text;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size > 0) {
    text.resize(static_cast<std::size_t>(size));
    in.read(text.data(), size);
    text.resize(static_cast<std::size_t>(in.gcount()));
  } else {
    // Not a file with a size (a pipe): read as it comes.
    in.clear();
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (in.bad()) {
    *error = name + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  return ParseRecording(text, name, plain, out, error);
}

}  // namespace kolvane::record
