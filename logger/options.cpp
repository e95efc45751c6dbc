#include "logger/options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

namespace kolvane::logger {

namespace {

constexpr std::string_view kProgram = "kolvane-log: ";

template <typename T, std::size_t N>
using Table = std::array<std::pair<std::string_view, T>, N>;

constexpr Table<int, 5> kTimestamps{
    {{"100ns", 1}, {"1us", 2}, {"10us", 3}, {"100us", 4}, {"1ms", 5}}};
constexpr Table<int, 5> kGates{{{"1ms", 1}, {"10ms", 2}, {"100ms", 3}, {"1s", 4}, {"10s", 5}}};
constexpr Table<Channel, 3> kChannels{{{"A", Channel::A}, {"B", Channel::B}, {"C", Channel::C}}};
constexpr Table<LogMode, 4> kModes{{{"f", LogMode::Frequency},
                                    {"T", LogMode::Period},
                                    {"tacho", LogMode::Tachometer},
                                    {"duty", LogMode::DutyCycle}}};
constexpr Table<record::TauSpacing, 2> kTaus{
    {{"octave", record::TauSpacing::kOctave}, {"decade", record::TauSpacing::kDecade}}};

template <typename T, std::size_t N>
std::string Accepted(const Table<T, N>& table) {
  std::string out;
  for (const auto& [name, value] : table) {
    if (!out.empty()) out += ", ";
    out += name;
  }
  return out;
}

std::string Bad(std::string_view option, std::string_view value, std::string_view accepted) {
  return std::string(kProgram) + "bad " + std::string(option) + " '" + std::string(value) +
         "' (accepted: " + std::string(accepted) + ")";
}

template <typename T, std::size_t N>
bool Pick(const Table<T, N>& table, std::string_view option, std::string_view value,
          std::optional<T>* out, std::string* error) {
  for (const auto& [name, v] : table) {
    if (name == value) {
      *out = v;
      return true;
    }
  }
  *error = Bad(option, value, Accepted(table));
  return false;
}

template <typename T>
bool WholeNumber(std::string_view text, T* out) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), *out);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool EndsWith(std::string_view text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  const std::string_view end = text.substr(text.size() - tail.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    const char c = end[i] >= 'A' && end[i] <= 'Z' ? static_cast<char>(end[i] - 'A' + 'a') : end[i];
    if (c != tail[i]) return false;
  }
  return true;
}

// Seconds above 0, as "90", "0.5" or "1e-3".
bool Seconds(std::string_view text, double* out) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), *out);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size() &&
         std::isfinite(*out) && *out > 0;
}

// "oadev,mdev" or "all": the deviations in the order given, each once.
bool Deviations(std::string_view text, std::vector<record::Deviation>* out) {
  out->clear();
  if (text == "all") {
    out->assign(std::begin(record::kAllDeviations), std::end(record::kAllDeviations));
    return true;
  }
  for (;;) {
    const auto comma = text.find(',');
    const auto d = record::DeviationFromName(text.substr(0, comma));
    if (!d) return false;
    if (std::find(out->begin(), out->end(), *d) == out->end()) out->push_back(*d);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

// Applies one option with its value.
bool Apply(std::string_view opt, std::string_view value, LogOptions* o, std::string* error) {
  if (opt == "--port") {
    int n = 0;
    if (!WholeNumber(value, &n) || n < 1 || n > 9) {
      *error = Bad(opt, value, "1 to 9, for COM1 to COM9");
      return false;
    }
    o->port = n;
    return true;
  }
  if (opt == "--timestamp") return Pick(kTimestamps, opt, value, &o->timestampIndex, error);
  if (opt == "--gate") return Pick(kGates, opt, value, &o->gateIndex, error);
  if (opt == "--channel") return Pick(kChannels, opt, value, &o->channel, error);
  if (opt == "--mode") return Pick(kModes, opt, value, &o->mode, error);
  if (opt == "--count") {
    std::uint64_t n = 0;
    if (!WholeNumber(value, &n) || n == 0) {
      *error = Bad(opt, value, "a whole number of readings, 1 or more");
      return false;
    }
    o->count = n;
    return true;
  }
  if (opt == "--duration") {
    double s = 0;
    const auto r =
        std::from_chars(value.data(), value.data() + value.size(), s, std::chars_format::fixed);
    if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() ||
        !std::isfinite(s) || !(s > 0)) {
      *error = Bad(opt, value, "seconds above 0, decimals allowed, e.g. 90 or 0.5");
      return false;
    }
    o->durationS = s;
    return true;
  }
  if (opt == "--tau0") {
    double s = 0;
    if (!Seconds(value, &s)) {
      *error = Bad(opt, value, "the interval in seconds above 0, e.g. 1, 0.1 or 1e-3");
      return false;
    }
    o->tau0S = s;
    return true;
  }
  if (opt == "--deviations") {
    if (!Deviations(value, &o->analysis.deviations)) {
      *error = Bad(opt, value, "adev, oadev, mdev, tdev, hdev, totdev separated by commas, or all");
      return false;
    }
    return true;
  }
  if (opt == "--taus") {
    std::optional<record::TauSpacing> taus;
    if (!Pick(kTaus, opt, value, &taus, error)) return false;
    o->analysis.taus = *taus;
    return true;
  }
  if (value.empty()) {
    *error = Bad(opt, value, "a file name");
    return false;
  }
  if (opt == "--csv") {
    o->csv = std::string(value);
  } else if (opt == "--analyze") {
    o->analyze = std::string(value);
  } else if (opt == "--summary") {
    o->summary = std::string(value);
  } else {  // --plot
    if (!EndsWith(value, ".png") && !EndsWith(value, ".svg")) {
      *error = Bad(opt, value, "a file name ending in .png or .svg");
      return false;
    }
    o->plot = std::string(value);
  }
  return true;
}

bool TakesValue(std::string_view opt) {
  static constexpr std::string_view kWithValue[] = {
      "--port", "--timestamp", "--gate", "--channel", "--mode", "--count",      "--duration",
      "--csv",  "--summary",   "--plot", "--analyze", "--tau0", "--deviations", "--taus"};
  for (std::string_view o : kWithValue) {
    if (o == opt) return true;
  }
  return false;
}

// The options that take no value.
bool* Flag(std::string_view opt, LogOptions* o, bool* frequency) {
  if (opt == "--quiet") return &o->quiet;
  if (opt == "--help") return &o->help;
  if (opt == "--version") return &o->version;
  if (opt == "--remove-drift") return &o->analysis.removeDrift;
  if (opt == "--phase") return &o->phase;
  if (opt == "--frequency") return frequency;
  if (opt == "--fractional") return &o->fractional;
  return nullptr;
}

// Options that belong to a run and options that belong to --analyze.
bool Consistent(const LogOptions& o, bool frequency, std::string* error) {
  const auto fail = [&](const std::string& why) {
    *error = std::string(kProgram) + why + " (see --help)";
    return false;
  };
  if (o.phase && frequency) return fail("--phase and --frequency exclude each other");
  if (o.phase && o.fractional) return fail("--fractional is for frequency values, not --phase");
  if (!o.analyze) {
    for (const auto& [set, name] : {std::pair{o.tau0S.has_value(), "--tau0"},
                                    {o.phase, "--phase"},
                                    {frequency, "--frequency"},
                                    {o.fractional, "--fractional"}}) {
      if (set) return fail(std::string(name) + " describes the file of --analyze");
    }
    return true;
  }
  for (const auto& [set, name] : {std::pair{o.port.has_value(), "--port"},
                                  {o.timestampIndex.has_value(), "--timestamp"},
                                  {o.gateIndex.has_value(), "--gate"},
                                  {o.channel.has_value(), "--channel"},
                                  {o.mode.has_value(), "--mode"},
                                  {o.count.has_value(), "--count"},
                                  {o.durationS.has_value(), "--duration"},
                                  {o.csv != "-", "--csv"}}) {
    if (set) return fail(std::string(name) + " is for a run with the instrument, not --analyze");
  }
  return true;
}

}  // namespace

bool ParseLogOptions(const std::vector<std::string>& args, LogOptions* out, std::string* error) {
  LogOptions o;
  bool frequency = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::optional<std::string_view> inlineValue;
    if (arg.starts_with("--")) {
      if (const auto eq = arg.find('='); eq != std::string_view::npos) {
        inlineValue = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    if (bool* flag = Flag(arg, &o, &frequency)) {
      if (inlineValue) {
        *error = std::string(kProgram) + std::string(arg) + " takes no value (see --help)";
        return false;
      }
      *flag = true;
      continue;
    }
    if (!TakesValue(arg)) {
      *error = std::string(kProgram) +
               (arg.starts_with("-") ? "unknown option '" : "unexpected argument '") +
               std::string(args[i]) + "' (see --help)";
      return false;
    }
    std::string_view value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = std::string(kProgram) + std::string(arg) + " needs a value (see --help)";
      return false;
    }
    if (!Apply(arg, value, &o, error)) return false;
  }
  if (!Consistent(o, frequency, error)) return false;
  *out = std::move(o);
  return true;
}

std::string LogHelp() {
  return "Usage: kolvane-log [options]\n"
         "       kolvane-log --analyze FILE [options]\n"
         "Records the readings of the frequency counter: one CSV row per result,\n"
         "then a summary with the frequency-stability analysis, and optionally a\n"
         "plot. With --analyze it analyses a recording instead, with no instrument.\n"
         "\n"
         "Recording:\n"
         "  --port N            use COMN only (1..9); without it COM1..COM9 are scanned\n"
         "  --timestamp STAMP   time stamp: 100ns, 1us, 10us, 100us or 1ms\n"
         "  --gate GATE         gate time: 1ms, 10ms, 100ms, 1s or 10s\n"
         "  --channel CH        input channel: A, B or C\n"
         "  --mode MODE         f (frequency), T (period), tacho or duty; other modes\n"
         "                      are set on the panel and recorded as read back\n"
         "  --count N           stop after N readings\n"
         "  --duration SECONDS  stop after this many seconds (decimals allowed)\n"
         "  --csv FILE          write the rows to FILE (default and '-': standard output)\n"
         "\n"
         "Analysis (at the end of a run, or of --analyze):\n"
         "  --deviations LIST   the deviations to compute, separated by commas: adev\n"
         "                      (Allan), oadev (overlapping Allan), mdev (modified\n"
         "                      Allan), tdev (time), hdev (overlapping Hadamard),\n"
         "                      totdev (total), or all (default oadev,mdev,hdev,tdev)\n"
         "  --taus SPACING      tau = m * tau0 with m = 1, 2, 4, ... (octave, the\n"
         "                      default) or 1, 2, 5, 10, 20, ... (decade)\n"
         "  --remove-drift      subtract the fitted linear frequency drift first\n"
         "                      (HDEV is insensitive to linear drift by design, so it\n"
         "                      is the same either way)\n"
         "  --summary FILE      also write the summary as a JSON object to FILE\n"
         "  --plot FILE         draw readings and deviations to FILE (.png or .svg)\n"
         "\n"
         "Reading a file:\n"
         "  --analyze FILE      analyse FILE: kolvane-log's CSV (or the panel's), or a\n"
         "                      plain text file of one number per line ('nan' is a\n"
         "                      missing point); no instrument is used\n"
         "  --tau0 S            the interval between the numbers of a plain file, in\n"
         "                      seconds (required for one; a CSV gives its own)\n"
         "  --frequency         the numbers are frequencies (default): made fractional\n"
         "                      against their mean\n"
         "  --fractional        the frequency numbers are fractional already\n"
         "  --phase             the numbers are phase (time error) in seconds\n"
         "\n"
         "  --quiet             no live status line on standard error\n"
         "  --help              this text\n"
         "  --version           the program's version\n"
         "Options also take the form --option=value. Settings are applied in the order\n"
         "time stamp, gate, channel, mode. Without --count or --duration the run ends\n"
         "on SIGINT (Ctrl+C), SIGTERM or SIGHUP.\n"
         "\n"
         "CSV columns: time,elapsed_s,mode,value,unit,status\n"
         "\n"
         "The analysis takes frequency readings as y = f/mean - 1 and periods as\n"
         "y = mean/T - 1 (other modes have no deviations), on a grid of tau0, the\n"
         "median interval between rows. OL and stop rows are missing points, and so\n"
         "is a result that never came: for tau0 of 0.1 s or more, an interval over\n"
         "1.5 tau0 leaves round(interval / tau0) - 1 missing points. No term spans a\n"
         "missing point. Each deviation comes with its terms, its equivalent degrees\n"
         "of freedom, its 68.3 % confidence interval and the dominant noise type.\n"
         "\n"
         "Exit status:\n"
         "  0  the run or the analysis ended normally (count, duration or a stop signal)\n"
         "  2  bad arguments, a file that cannot be written, or a file to analyse that\n"
         "     cannot be read or holds a malformed line (FILE:LINE: reason)\n"
         "  3  no instrument found on any port tried\n"
         "  4  the link failed during the run\n"
         "  5  a setting was not acknowledged by the instrument\n";
}

}  // namespace kolvane::logger
