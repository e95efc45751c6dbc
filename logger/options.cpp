#include "logger/options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

#include "cli/command_line.h"
#include "protocol/protocol.h"

namespace kolvane::logger {

namespace {

constexpr std::string_view kProgram = "kolvane-log: ";
// Where the options' descriptions start in the help.
constexpr std::size_t kColumn = 22;

// The help after the options.
constexpr const char* kFooter =
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
    "  5  a setting was not acknowledged by the instrument";

template <typename T, std::size_t N>
using Table = std::array<std::pair<std::string_view, T>, N>;

// The time base's names, with their indexes 1..5.
constexpr Table<int, 5> TimeBase(const std::array<const char*, 5>& names) {
  Table<int, 5> t{};
  for (std::size_t i = 0; i < names.size(); ++i) t[i] = {names[i], static_cast<int>(i + 1)};
  return t;
}

constexpr Table<int, 5> kTimestamps = TimeBase(protocol::kTimestampNames);
constexpr Table<int, 5> kGates = TimeBase(protocol::kGateNames);
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

// Takes a name of `table` into *out.
template <typename T, std::size_t N, typename Out>
cli::Take Pick(const Table<T, N>& table, Out* out) {
  return [&table, out](const std::string& value, std::string* accepted) {
    for (const auto& [name, v] : table) {
      if (name == value) {
        *out = v;
        return true;
      }
    }
    *accepted = Accepted(table);
    return false;
  };
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

// The options onto *o; --frequency, the default, only sets *frequency.
void Define(cli::CommandLine& line, LogOptions* o, bool* frequency) {
  CLI::App& app = line.App();
  app.description(
      "Records the readings of the frequency counter: one CSV row per result,\n"
      "then a summary with the frequency-stability analysis, and optionally a\n"
      "plot. With --analyze FILE it analyses a recording instead, with no instrument.");
  app.footer(kFooter);

  const std::string recording = "Recording";
  cli::AddPort(line, &o->port)->group(recording);
  line.Value("--timestamp", "STAMP", "time stamp: 100ns, 1us, 10us, 100us or 1ms",
             Pick(kTimestamps, &o->timestampIndex))
      ->group(recording);
  line.Value("--gate", "GATE", "gate time: 1ms, 10ms, 100ms, 1s or 10s",
             Pick(kGates, &o->gateIndex))
      ->group(recording);
  line.Value("--channel", "CH", "input channel: A, B or C", Pick(kChannels, &o->channel))
      ->group(recording);
  line.Value("--mode", "MODE",
             "f (frequency), T (period), tacho or duty; other modes\n"
             "are set on the panel and recorded as read back",
             Pick(kModes, &o->mode))
      ->group(recording);
  line.Value("--count", "N", "stop after N readings",
             [o](const std::string& value, std::string* accepted) {
               std::uint64_t n = 0;
               *accepted = "a whole number of readings, 1 or more";
               if (!WholeNumber(value, &n) || n == 0) return false;
               o->count = n;
               return true;
             })
      ->group(recording);
  line.Value("--duration", "SECONDS", "stop after this many seconds (decimals allowed)",
             [o](const std::string& value, std::string* accepted) {
               double s = 0;
               const auto r = std::from_chars(value.data(), value.data() + value.size(), s,
                                              std::chars_format::fixed);
               *accepted = "seconds above 0, decimals allowed, e.g. 90 or 0.5";
               if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() ||
                   !std::isfinite(s) || !(s > 0)) {
                 return false;
               }
               o->durationS = s;
               return true;
             })
      ->group(recording);
  line.Value("--csv", "FILE", "write the rows to FILE (default and '-': standard output)",
             cli::FileName(&o->csv))
      ->group(recording);

  const std::string analysis = "Analysis (at the end of a run, or of --analyze)";
  line.Value("--deviations", "LIST",
             "the deviations to compute, separated by commas: adev\n"
             "(Allan), oadev (overlapping Allan), mdev (modified\n"
             "Allan), tdev (time), hdev (overlapping Hadamard),\n"
             "totdev (total), or all (default oadev,mdev,hdev,tdev)",
             [o](const std::string& value, std::string* accepted) {
               *accepted = "adev, oadev, mdev, tdev, hdev, totdev separated by commas, or all";
               return Deviations(value, &o->analysis.deviations);
             })
      ->group(analysis);
  line.Value("--taus", "SPACING",
             "tau = m * tau0 with m = 1, 2, 4, ... (octave, the\n"
             "default) or 1, 2, 5, 10, 20, ... (decade)",
             Pick(kTaus, &o->analysis.taus))
      ->group(analysis);
  line.Flag("--remove-drift", &o->analysis.removeDrift,
            "subtract the fitted linear frequency drift first\n"
            "(HDEV is insensitive to linear drift by design, so it\n"
            "is the same either way)")
      ->group(analysis);
  line.Value("--summary", "FILE", "also write the summary as a JSON object to FILE",
             cli::FileName(&o->summary))
      ->group(analysis);
  line.Value("--plot", "FILE", "draw readings and deviations to FILE (.png or .svg)",
             [o](const std::string& value, std::string* accepted) {
               *accepted = "a file name ending in .png or .svg";
               if (!EndsWith(value, ".png") && !EndsWith(value, ".svg")) return false;
               o->plot = value;
               return true;
             })
      ->group(analysis);

  const std::string file = "Reading a file";
  line.Value("--analyze", "FILE",
             "analyse FILE: kolvane-log's CSV (or the panel's), or a\n"
             "plain text file of one number per line ('nan' is a\n"
             "missing point); no instrument is used",
             cli::FileName(&o->analyze))
      ->group(file);
  line.Value("--tau0", "S",
             "the interval between the numbers of a plain file, in\n"
             "seconds (required for one; a CSV gives its own)",
             [o](const std::string& value, std::string* accepted) {
               double s = 0;
               *accepted = "the interval in seconds above 0, e.g. 1, 0.1 or 1e-3";
               if (!Seconds(value, &s)) return false;
               o->tau0S = s;
               return true;
             })
      ->group(file);
  line.Flag("--frequency", frequency,
            "the numbers are frequencies (default): made fractional\n"
            "against their mean")
      ->group(file);
  line.Flag("--fractional", &o->fractional, "the frequency numbers are fractional already")
      ->group(file);
  line.Flag("--phase", &o->phase, "the numbers are phase (time error) in seconds")->group(file);

  line.Flag("--quiet", &o->quiet, "no live status line on standard error");
  line.Flag("--help", &o->help, "this text");
  line.Flag("--version", &o->version, "the program's version");
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
  cli::CommandLine line("kolvane-log", kColumn);
  Define(line, &o, &frequency);
  *error = line.Parse(args);
  if (!error->empty() || !Consistent(o, frequency, error)) return false;
  *out = std::move(o);
  return true;
}

std::string LogHelp() {
  LogOptions o;
  bool frequency = false;
  cli::CommandLine line("kolvane-log", kColumn);
  Define(line, &o, &frequency);
  return line.Help();
}

}  // namespace kolvane::logger
