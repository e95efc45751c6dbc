#include "record/recording_file.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <utility>

#include "record/csv.h"

namespace kolvane::record {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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
    // Centuries at most: the times are kept as whole milliseconds.
    constexpr double kLongestS = 1e10;
    if (!Whole(elapsedText, &elapsed, std::chars_format::fixed) || !(elapsed >= 0) ||
        elapsed > kLongestS) {
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
      // A unit means nothing without a value, but files that went through a
      // spreadsheet or another writer keep it.
      if (!valueText.empty()) {
        *why = "a row with status " + std::string(statusText) + " has no value";
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
    lastText_.assign(elapsedText);
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
  std::string lastText_;
};

// Takes the file line by line, whatever size the pieces it is read in.
class Parser {
 public:
  Parser(const std::string& name, const PlainNumbers& plain, Recording* out)
      : name_(name), plain_(plain), out_(out), csv_(out) {}

  // One line without its line feed.
  bool Line(std::string_view line, std::string* error) {
    ++number_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (number_ == 1 && line.starts_with(kBom)) line.remove_prefix(kBom.size());
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    // Blank lines are an error unless nothing but blank lines follows them.
    if (line.empty()) {
      if (blankFrom_ == 0) blankFrom_ = number_;
      return true;
    }
    if (blankFrom_ != 0) {
      return Fail(
          blankFrom_,
          kind_ == Kind::kCsv ? "empty line" : "empty line (a missing point is written nan)",
          error);
    }
    switch (kind_) {
      case Kind::kUnknown:
        return Start(line, error);
      case Kind::kCsv:
        if (!csv_.Row(line, &why_)) return Fail(number_, why_, error);
        return true;
      case Kind::kPlain:
        return Number(line, error);
    }
    return false;
  }

  bool Finish(std::string* error) {
    switch (kind_) {
      case Kind::kUnknown:
        *error = name_ + ": the file is empty";
        return false;
      case Kind::kCsv: {
        std::size_t badRow = 0;
        // The header is line 1 and every line after it a row.
        if (!out_->grid.Build(&out_->input, &badRow, &why_)) return Fail(badRow + 2, why_, error);
        out_->applies = out_->grid.Applies();
        return true;
      }
      case Kind::kPlain:
        return FinishPlain(error);
    }
    return false;
  }

 private:
  enum class Kind { kUnknown, kCsv, kPlain };

  bool Fail(std::size_t line, const std::string& why, std::string* error) const {
    *error = name_ + ":" + std::to_string(line) + ": " + why;
    return false;
  }

  bool Start(std::string_view first, std::string* error) {
    if (first == kCsvHeader) {
      if (plain_.given) {
        *error = name_ +
                 ": --tau0, --phase and --fractional are for a plain file of numbers; this is "
                 "Kolvane's CSV, whose interval comes from elapsed_s";
        return false;
      }
      kind_ = Kind::kCsv;
      out_->csv = true;
      return true;
    }
    if (!plain_.tau0S) {
      *error = name_ +
               ": a plain file of numbers needs --tau0, the interval between them in "
               "seconds (or is it a CSV without its header line?)";
      return false;
    }
    kind_ = Kind::kPlain;
    Summary& s = out_->plainSummary;
    s.plainNumbers = true;
    s.plainKind = plain_.phase        ? PlainKind::kPhase
                  : plain_.fractional ? PlainKind::kFractional
                                      : PlainKind::kFrequency;
    s.tau0S = *plain_.tau0S;
    return Number(first, error);
  }

  bool Number(std::string_view line, std::string* error) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    double v = 0;
    if (!Whole(line, &v)) return Fail(number_, "not a number: " + Quote(line), error);
    if (std::isinf(v)) return Fail(number_, "not a finite number: " + Quote(line), error);
    std::vector<double>& values = out_->input.values;
    values.push_back(v);
    if (std::isnan(v)) return true;
    // Welford's update, as the recording statistics make it.
    Summary& s = out_->plainSummary;
    ++s.readings;
    const double delta = v - mean_;
    mean_ += delta / static_cast<double>(s.readings);
    m2_ += delta * (v - mean_);
    s.min = s.readings == 1 ? v : std::min(s.min, v);
    s.max = s.readings == 1 ? v : std::max(s.max, v);
    out_->plainSeries.Add(static_cast<double>(values.size() - 1) * s.tau0S, v);
    return true;
  }

  bool FinishPlain(std::string* error) {
    Summary& s = out_->plainSummary;
    s.mean = s.readings > 0 ? mean_ : kNaN;
    s.stdev = s.readings > 1 ? std::sqrt(m2_ / static_cast<double>(s.readings - 1)) : kNaN;
    if (s.readings == 0) s.min = s.max = kNaN;
    out_->input.tau0 = s.tau0S;
    out_->input.phase = plain_.phase;
    if (!plain_.phase && !plain_.fractional && s.readings > 0) {
      if (s.mean == 0 || !std::isfinite(s.mean)) {
        *error = name_ +
                 ": the numbers' mean is 0, so they cannot be made fractional against it (if "
                 "they are fractional already, say --fractional)";
        return false;
      }
      for (double& v : out_->input.values) {
        v = (v - s.mean) / s.mean;
        if (std::isinf(v)) v = kNaN;  // only from numbers no counter gives
      }
    }
    out_->applies = true;
    return true;
  }

  const std::string& name_;
  const PlainNumbers& plain_;
  Recording* out_;
  CsvReader csv_;
  Kind kind_ = Kind::kUnknown;
  std::size_t number_ = 0;
  std::size_t blankFrom_ = 0;  // the first of the blank lines just seen
  std::string why_;
  double mean_ = 0, m2_ = 0;
};

}  // namespace

bool ParseRecording(std::string_view text, const std::string& name, const PlainNumbers& plain,
                    Recording* out, std::string* error) {
  Parser parser(name, plain, out);
  for (;;) {
    const auto end = text.find('\n');
    if (!parser.Line(text.substr(0, end), error)) return false;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return parser.Finish(error);
}

bool ReadRecording(const std::filesystem::path& path, const std::string& name,
                   const PlainNumbers& plain, Recording* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = name + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  Parser parser(name, plain, out);
  // In pieces, each line taken where it lies; only a line cut by the end of
  // a piece is copied.
  constexpr std::size_t kPiece = 1 << 20;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
  std::string carry;
  while (in) {
    in.read(buffer.get(), kPiece);
    std::string_view piece(buffer.get(), static_cast<std::size_t>(in.gcount()));
    for (auto end = piece.find('\n'); end != std::string_view::npos; end = piece.find('\n')) {
      bool ok = false;
      if (carry.empty()) {
        ok = parser.Line(piece.substr(0, end), error);
      } else {
        carry.append(piece.substr(0, end));
        ok = parser.Line(carry, error);
        carry.clear();
      }
      if (!ok) return false;
      piece.remove_prefix(end + 1);
    }
    carry.append(piece);
  }
  if (in.bad()) {
    *error = name + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  if (!carry.empty() && !parser.Line(carry, error)) return false;
  return parser.Finish(error);
}

}  // namespace kolvane::record
