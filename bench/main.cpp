// kolvane-bench: figures of speed and memory, printed beside their targets.
// A program to run by hand, not a test. Exits 0 whatever the figures; 1 when
// the run itself failed, 2 on a bad command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/modes.h"

namespace {

using namespace kolvane::bench;

const char kUsage[] =
    "Usage: kolvane-bench [panel] [--seconds S] [--record] [--paints]\n"
    "       kolvane-bench logger [--seconds S] [--rate R]\n"
    "       kolvane-bench stats [--readings N]\n"
    "       kolvane-bench scpi [--seconds S]\n"
    "       kolvane-bench web [--seconds S] [--pages N]\n"
    "\n"
    "panel   the panel against kolvane-sim in automatic launch at 10 results per\n"
    "        second for S seconds (default 30): display latency, CPU time and peak\n"
    "        memory. It uses the X display in DISPLAY when there is one, else Qt's\n"
    "        offscreen platform. --record attaches a recorder writing every reading\n"
    "        to a CSV file; --paints also lists the paint events per widget.\n"
    "logger  kolvane-log --gate 1ms against kolvane-sim writing R results per second\n"
    "        (default 384, what 19200 baud carries) for S seconds (default 20):\n"
    "        results written against rows recorded, CPU time per reading.\n"
    "stats   N readings (default 1000000) fed to the recording statistics: memory\n"
    "        per reading and time per reading; then their stability analysis (every\n"
    "        deviation at octave taus): its time and peak memory.\n"
    "scpi    kolvane-scpi against kolvane-sim on 127.0.0.1: *IDN? round trip, lxi\n"
    "        benchmark, the time from a result's last byte to the READ? reply, READ? at\n"
    "        full rate with and without 100 idle connections, the server's CPU idle\n"
    "        and at 10 results per second, and HTTP / and /metrics to 8 clients at\n"
    "        once, S seconds each (default 10); then the *IDN? round trip and READ?\n"
    "        latency over VXI-11, in a network namespace of its own (as root;\n"
    "        skipped otherwise).\n"
    "\n"
    "The load average is printed with the figures: on a busy machine, run again.\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "kolvane-bench: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// A number in [lo, hi] or nothing.
bool Number(const char* text, double lo, double hi, double* out) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(v >= lo && v <= hi)) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = "panel";
  int i = 1;
  if (i < argc && argv[i][0] != '-') mode = argv[i++];
  if (mode != "panel" && mode != "logger" && mode != "stats" && mode != "scpi" && mode != "web") {
    return Usage("unknown mode '" + mode + "' (panel, logger, stats, scpi or web)");
  }
  PanelOptions panel;
  LoggerOptions logger;
  StatsOptions stats;
  ScpiOptions scpi;
  WebOptions web;
  for (; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    const bool hasValue = i + 1 < argc;
    double v = 0;
    if (opt == "--seconds" && mode != "stats" && hasValue) {
      if (!Number(argv[++i], 1, 86400, &v)) {
        return Usage(std::string("--seconds '") + argv[i] + "': a number from 1 to 86400");
      }
      panel.seconds = logger.seconds = scpi.seconds = web.seconds = v;
    } else if (opt == "--record" && mode == "panel") {
      panel.record = true;
    } else if (opt == "--paints" && mode == "panel") {
      panel.paints = true;
    } else if (opt == "--rate" && mode == "logger" && hasValue) {
      if (!Number(argv[++i], 1, 1000, &logger.rate)) {
        return Usage(std::string("--rate '") + argv[i] + "': a number from 1 to 1000");
      }
    } else if (opt == "--pages" && mode == "web" && hasValue) {
      if (!Number(argv[++i], 1, 1000, &v)) {
        return Usage(std::string("--pages '") + argv[i] + "': a number from 1 to 1000");
      }
      web.pages = static_cast<int>(v);
    } else if (opt == "--readings" && mode == "stats" && hasValue) {
      if (!Number(argv[++i], 1, 1e9, &v)) {
        return Usage(std::string("--readings '") + argv[i] + "': a number from 1 to 1000000000");
      }
      stats.readings = static_cast<std::size_t>(v);
    } else {
      return Usage("'" + opt + "' is no option of the " + mode + " mode, or lacks its value");
    }
  }
  if (mode == "logger") return RunLogger(logger);
  if (mode == "stats") return RunStats(stats);
  if (mode == "scpi") return RunScpi(scpi);
  if (mode == "web") return RunWeb(web);
  return RunPanel(panel, argc, argv);
}
