// kolvane-bench: runs the real panel (Qt front end, termios port, system
// clock) against kolvane-sim in automatic launch at 10 results per second and
// reports how late each result reaches the reading display, the panel's CPU
// time and its peak memory, beside the targets. Exits 0 whatever the figures;
// 1 only when the run itself failed.
#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/timed_window.h"
#include "panel/panel_dlg.h"
#include "panel/panel_state.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/system_deps.h"
#include "platform/qt/desktop_host.h"
#include "resources/ids.h"
#include "tests/integration/sim_process.h"

namespace {

using kolvane::bench::MonotonicMs;

constexpr int kRate = 10;
// The instrument starts in automatic launch with the settings the panel
// assumes at start-up (frequency on channel A, 10^-6 s time stamp, 10^-3 s
// gate). Its results may come before the panel's first readback and spoil
// it; the two then agree all the same.
constexpr const char* kInstrumentState = "0,1,0,0,1,0,0,0,1,1,0,1,64,128,0";
// Time for the port scan and the first readback before the user's click.
constexpr int kReadBackMs = 500;
// Results after the click settle before the measured run starts.
constexpr int kWarmUpMs = 1000;

constexpr double kLatencyTargetMs = 23;
constexpr double kCpuTargetPercent = 1;
constexpr double kMemoryTargetMb = 60;

const char kUsage[] =
    "Usage: kolvane-bench [--seconds S]\n"
    "Runs the panel against kolvane-sim in automatic launch at 10 results per\n"
    "second for S seconds (default 30) and prints the display latency, CPU time\n"
    "and peak memory beside their targets.\n";

double CpuMs(const rusage& r) {
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  return ms(r.ru_utime) + ms(r.ru_stime);
}

rusage Usage() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return r;
}

// When the simulator finished writing each result, from its "TX <ms> <hex>"
// lines: a result is 'G' and a 4- or 8-byte count field in one chunk.
std::vector<double> ResultTimes(const std::vector<std::string>& log) {
  std::vector<double> times;
  for (const std::string& line : log) {
    std::istringstream in(line);
    std::string kind, hex;
    double ms = 0;
    if (!(in >> kind >> ms) || kind != "TX") continue;
    std::vector<std::string> bytes;
    while (in >> hex) bytes.push_back(hex);
    if (!bytes.empty() && bytes[0] == "47" && (bytes.size() == 5 || bytes.size() == 9)) {
      times.push_back(ms);
    }
  }
  return times;
}

// Nearest-rank percentile of sorted values.
double Percentile(const std::vector<double>& sorted, double p) {
  const auto rank =
      static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

const char* Verdict(bool pass) {
  return pass ? "PASS" : "over";
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "kolvane-bench: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 30;
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (opt == "--seconds" && i + 1 < argc) {
      char* end = nullptr;
      seconds = std::strtod(argv[++i], &end);
      if (*end != '\0' || !(seconds >= 1 && seconds <= 86400)) {
        return Fail("--seconds takes a number from 1 to 86400");
      }
      continue;
    }
    std::fputs(kUsage, stderr);
    return 2;
  }

  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  kolvane::qt::PrepareApplication(application);

  kolvane::test::SimProcess sim(
      {"--rate", std::to_string(kRate), "--state", kInstrumentState, "--seed", "1"});
  if (!sim.Ready()) return Fail("kolvane-sim did not start (" KOLVANE_SIM_PATH ")");

  // The panel as the application builds it.
  const auto ports = kolvane::MakeSerialPorts();
  kolvane::SystemClock clock;
  const auto bridge = kolvane::MakeBridgeLibrary();
  const auto registry = kolvane::MakeRegistry();
  const auto version = kolvane::MakeSystemVersion();
  kolvane::PanelState state;
  kolvane::CPanelDlg panel(state, kolvane::PanelDeps{*ports, clock, *bridge, *registry, *version});
  kolvane::qt::QtDesktopHost host;

  std::unique_ptr<kolvane::bench::TimedWindow> timed;
  std::string failure;
  double runStart = 0, runEnd = 0;
  rusage usageStart{}, usageEnd{};
  const int runMs = static_cast<int>(std::lround(seconds * 1000));

  host.onShown = [&](kolvane::qt::QtDialogWindow& w) {
    // Between the panel and its window from here on; the initialisation is done.
    const auto expected = static_cast<std::size_t>(4 * kRate * (seconds + 10));
    timed =
        std::make_unique<kolvane::bench::TimedWindow>(w, kolvane::ids::kReadingDisplay, expected);
    panel.Attach(timed.get());
    QDialog* widget = &w.Widget();
    QTimer::singleShot(kReadBackMs, widget, [&, widget] {
      if (state.portFound == 0) {
        failure = "the panel did not find the simulator";
        widget->close();
        return;
      }
      // The user's click on "Авт".
      auto* autoRadio = qobject_cast<QAbstractButton*>(w.ControlWidget(kolvane::ids::kLaunchAuto));
      if (autoRadio == nullptr || !autoRadio->isEnabled()) {
        failure = "the automatic-launch radio cannot be clicked";
        widget->close();
        return;
      }
      autoRadio->click();
      if (state.singleShot != 0 || w.GetCheck(kolvane::ids::kLaunchAuto) != 1) {
        failure = "the panel is not in automatic launch after the click";
        widget->close();
        return;
      }
      QTimer::singleShot(kWarmUpMs, widget, [&, widget] {
        usageStart = Usage();
        runStart = MonotonicMs();
        QTimer::singleShot(runMs, Qt::PreciseTimer, widget, [&, widget] {
          usageEnd = Usage();
          runEnd = MonotonicMs();
          // Closed the ordinary way, so the closing sequence runs.
          widget->close();
        });
      });
    });
  };
  panel.DoModal(host);
  const rusage usageAll = Usage();

  if (!failure.empty()) return Fail(failure);
  if (timed == nullptr || runEnd <= runStart) return Fail("the panel window never ran");

  const std::vector<double> results = ResultTimes(sim.Log());
  sim.Stop();

  // Each display change against the latest result written before it; the
  // first change after a result is the one that shows it.
  std::vector<double> latencies;
  std::size_t sent = 0;
  for (const double r : results) {
    if (r >= runStart && r < runEnd) ++sent;
  }
  std::size_t matched = results.size();  // index of the last result matched
  for (const double d : timed->TextTimes()) {
    const auto after = std::upper_bound(results.begin(), results.end(), d);
    if (after == results.begin()) continue;
    const auto latest = static_cast<std::size_t>(after - results.begin()) - 1;
    if (latest == matched) continue;
    matched = latest;
    if (results[latest] >= runStart && results[latest] < runEnd) {
      latencies.push_back(d - results[latest]);
    }
  }
  if (latencies.empty()) return Fail("no result reached the display during the run");
  std::sort(latencies.begin(), latencies.end());

  const double wallMs = runEnd - runStart;
  const double cpuMs = CpuMs(usageEnd) - CpuMs(usageStart);
  const double cpuPercent = 100.0 * cpuMs / wallMs;
  const double peakMb = static_cast<double>(usageAll.ru_maxrss) * 1024.0 / 1e6;
  const double p50 = Percentile(latencies, 50);
  const double p99 = Percentile(latencies, 99);
  const double max = latencies.back();

  std::printf("kolvane-bench: %.1f s of automatic launch at %d results/s\n", wallMs / 1e3, kRate);
  std::printf("  results written %zu, shown %zu\n", sent, latencies.size());
  std::printf(
      "  latency, last byte written -> text of 1092 set: median %.3f ms, p99 %.3f ms, "
      "max %.3f ms   target p99 <= %.0f ms: %s\n",
      p50, p99, max, kLatencyTargetMs, Verdict(p99 <= kLatencyTargetMs));
  std::printf("  CPU time: %.3f %% of one core (%.1f ms in %.1f s)   target <= %.0f %%: %s\n",
              cpuPercent, cpuMs, wallMs / 1e3, kCpuTargetPercent,
              Verdict(cpuPercent <= kCpuTargetPercent));
  std::printf("  peak resident memory: %.1f MB (%ld KiB)   target <= %.0f MB: %s\n", peakMb,
              usageAll.ru_maxrss, kMemoryTargetMb, Verdict(peakMb <= kMemoryTargetMb));
  std::printf("  start-up and closing, not counted above: %.1f ms CPU\n", CpuMs(usageAll) - cpuMs);
  return 0;
}
