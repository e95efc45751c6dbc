// The panel mode: the real panel (Qt front end, termios port, system clock)
// against kolvane-sim in automatic launch at 10 results per second; how late
// each result reaches the reading display, the panel's CPU time and its peak
// memory, optionally while it records every reading to a CSV file.
#include <unistd.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/panel_assembly.h"
#include "bench/modes.h"
#include "bench/report.h"
#include "bench/timed_window.h"
#include "platform/qt/desktop_host.h"
#include "record/recorder.h"
#include "record/statistics.h"
#include "resources/ids.h"
#include "tests/integration/sim_process.h"

namespace kolvane::bench {

namespace {

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

record::Instant Now() {
  using namespace std::chrono;
  const auto wall = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
  const auto mono = duration_cast<duration<double>>(steady_clock::now().time_since_epoch());
  return {static_cast<std::int64_t>(wall.count()), mono.count()};
}

// Counts the paint events each widget receives while switched on: where the
// front end's time goes, without a profiler.
class PaintCounter : public QObject {
 public:
  bool on = false;

  bool eventFilter(QObject* o, QEvent* e) override {
    if (!on || e->type() != QEvent::Paint || !o->isWidgetType()) return false;
    Count& c = counts_[o];
    if (c.n++ == 0) {
      // Named while it lives; the list is printed after the window is gone.
      const auto* w = static_cast<const QWidget*>(o);
      c.name = Format("%s %s \"%s\"", o->metaObject()->className(),
                      w->accessibleDescription().toUtf8().constData(),
                      w->accessibleName().toUtf8().constData());
    }
    return false;
  }

  void Print(std::size_t results) const {
    std::vector<std::pair<std::size_t, std::string>> order;
    std::size_t total = 0;
    for (const auto& [o, c] : counts_) {
      order.emplace_back(c.n, c.name);
      total += c.n;
    }
    std::sort(order.rbegin(), order.rend());
    const double per = results > 0 ? static_cast<double>(results) : 1.0;
    std::printf("  paint events per result shown: %.2f in all\n", static_cast<double>(total) / per);
    for (const auto& [n, name] : order) {
      std::printf("    %6.2f  %s\n", static_cast<double>(n) / per, name.c_str());
    }
  }

 private:
  struct Count {
    std::size_t n = 0;
    std::string name;
  };
  std::map<const QObject*, Count> counts_;
};

}  // namespace

int RunPanel(const PanelOptions& options, int argc, char** argv) {
  const double seconds = options.seconds;
  // A real display when there is one: the CPU target is for an X server.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
      !qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  qt::PrepareApplication(application);
  PaintCounter paints;
  if (options.paints) application.installEventFilter(&paints);

  test::SimProcess sim(
      {"--rate", std::to_string(kRate), "--state", kInstrumentState, "--seed", "1"});
  if (!sim.Ready()) return Fail("kolvane-sim did not start (" KOLVANE_SIM_PATH ")");

  // The recording: a CSV in a file of its own and the running statistics,
  // as the panel's record entry keeps them.
  std::string csvPath;
  std::ofstream csv;
  record::Statistics stats;
  std::unique_ptr<record::Recorder> recorder;
  if (options.record) {
    char name[] = "/tmp/kolvane-bench-XXXXXX.csv";
    const int fd = mkstemps(name, 4);
    if (fd < 0) return Fail("cannot make a file for the recording in /tmp");
    close(fd);
    csvPath = name;
    csv.open(csvPath, std::ios::binary | std::ios::trunc);
    recorder = std::make_unique<record::Recorder>(&csv, &stats, Now);
  }

  // The panel as the application builds it, with the recorder in place of
  // the recording entry.
  PanelAssembly assembly({.recordingEntry = false, .readingSink = recorder.get()});
  CPanelDlg& panel = assembly.Panel();
  PanelState& state = assembly.State();
  qt::QtDesktopHost host;

  std::unique_ptr<TimedWindow> timed;
  std::string failure;
  double runStart = 0, runEnd = 0;
  rusage usageStart{}, usageEnd{};
  std::size_t rowsStart = 0, rowsEnd = 0;
  const std::string loadBefore = LoadAverage();
  const int runMs = static_cast<int>(std::lround(seconds * 1000));

  host.onShown = [&](qt::QtDialogWindow& w) {
    // Between the panel and its window from here on; the initialisation is done.
    const auto expected = static_cast<std::size_t>(4 * kRate * (seconds + 10));
    timed = std::make_unique<TimedWindow>(w, ids::kReadingDisplay, expected);
    panel.Attach(timed.get());
    QDialog* widget = &w.Widget();
    QTimer::singleShot(kReadBackMs, widget, [&, widget] {
      if (state.portFound == 0) {
        failure = "the panel did not find the simulator";
        widget->close();
        return;
      }
      // The user's click on "Авт".
      auto* autoRadio = qobject_cast<QAbstractButton*>(w.ControlWidget(ids::kLaunchAuto));
      if (autoRadio == nullptr || !autoRadio->isEnabled()) {
        failure = "the automatic-launch radio cannot be clicked";
        widget->close();
        return;
      }
      autoRadio->click();
      if (state.singleShot != 0 || w.GetCheck(ids::kLaunchAuto) != 1) {
        failure = "the panel is not in automatic launch after the click";
        widget->close();
        return;
      }
      QTimer::singleShot(kWarmUpMs, widget, [&, widget] {
        usageStart = SelfUsage();
        runStart = MonotonicMs();
        rowsStart = recorder ? recorder->Rows() : 0;
        paints.on = true;
        timed->Count(true);
        QTimer::singleShot(runMs, Qt::PreciseTimer, widget, [&, widget] {
          usageEnd = SelfUsage();
          runEnd = MonotonicMs();
          rowsEnd = recorder ? recorder->Rows() : 0;
          paints.on = false;
          timed->Count(false);
          // Closed the ordinary way, so the closing sequence runs.
          widget->close();
        });
      });
    });
  };
  panel.DoModal(host);
  const rusage usageAll = SelfUsage();
  const std::string loadAfter = LoadAverage();

  if (!csvPath.empty()) std::remove(csvPath.c_str());
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
  // The simulator notes the time once its write has returned; the panel may
  // have read and shown the result a little before that note.
  constexpr double kNoteSlackMs = 2;
  std::size_t matched = results.size();  // index of the last result matched
  for (const double d : timed->TextTimes()) {
    const auto after = std::upper_bound(results.begin(), results.end(), d + kNoteSlackMs);
    if (after == results.begin()) continue;
    const auto latest = static_cast<std::size_t>(after - results.begin()) - 1;
    if (latest == matched) continue;
    matched = latest;
    if (results[latest] >= runStart && results[latest] < runEnd) {
      latencies.push_back(std::max(0.0, d - results[latest]));
    }
  }
  if (latencies.empty()) return Fail("no result reached the display during the run");
  std::sort(latencies.begin(), latencies.end());

  const double wallMs = runEnd - runStart;
  const double cpuMs = CpuMs(usageEnd) - CpuMs(usageStart);
  const double cpuPercent = 100.0 * cpuMs / wallMs;
  const double peakMb = static_cast<double>(usageAll.ru_maxrss) * 1024.0 / 1e6;
  const double p99 = Percentile(latencies, 99);

  std::printf("kolvane-bench panel: %.1f s of automatic launch at %d results/s, %s\n", wallMs / 1e3,
              kRate, recorder ? "recording every reading to a CSV file" : "not recording");
  std::printf("  Qt platform %s, accessibility %s; load average before %s, after %s\n",
              QApplication::platformName().toUtf8().constData(),
              QAccessible::isActive() ? "active" : "inactive", loadBefore.c_str(),
              loadAfter.c_str());
  Table t;
  t.Add("results written / shown", Format("%zu / %zu", sent, latencies.size()));
  if (recorder) t.Add("rows recorded", Format("%zu", rowsEnd - rowsStart));
  t.Add("latency to the display, median", Format("%.3f ms", Percentile(latencies, 50)));
  t.Add("latency to the display, p99", Format("%.3f ms", p99),
        Format("<= %.0f ms", kLatencyTargetMs), p99 <= kLatencyTargetMs);
  t.Add("latency to the display, max", Format("%.3f ms", latencies.back()));
  const double kernelMs = KernelMs(usageEnd) - KernelMs(usageStart);
  t.Add("CPU time",
        Format("%.3f %% of one core (%.1f ms, %.1f ms of it in the kernel)", cpuPercent, cpuMs,
               kernelMs),
        Format("<= %.0f %%", kCpuTargetPercent), cpuPercent <= kCpuTargetPercent);
  t.Add("  of it in the window calls of the cycle",
        Format("%.3f %% of one core (%.1f ms)", 100.0 * timed->CallCpuMs() / wallMs,
               timed->CallCpuMs()));
  t.Add("wake-ups (voluntary context switches)",
        Format("%.1f per second",
               static_cast<double>(usageEnd.ru_nvcsw - usageStart.ru_nvcsw) / (wallMs / 1e3)));
  t.Add("peak resident memory", Format("%.1f MB", peakMb), Format("<= %.0f MB", kMemoryTargetMb),
        peakMb <= kMemoryTargetMb);
  t.Add("start-up and closing CPU", Format("%.1f ms", CpuMs(usageAll) - cpuMs));
  t.Print();
  if (options.paints) paints.Print(latencies.size());
  return 0;
}

}  // namespace kolvane::bench
