// The stats mode: a long run's readings fed to the recording statistics;
// the memory they hold and the time each reading costs. Then the stability
// analysis of the same readings: its time and its peak memory.
#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/modes.h"
#include "bench/report.h"
#include "record/stability.h"
#include "record/statistics.h"

namespace kolvane::bench {

namespace {

constexpr double kBytesTarget = 16;
constexpr double kAnalysisSTarget = 2;
constexpr double kAnalysisBytesTarget = 40;
// Readings at 10 per second, as the panel shows them.
constexpr double kIntervalS = 0.1;

std::size_t HeapInUse() {
  return mallinfo2().uordblks;
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"), or -1.
double StatusBytes(const std::string& field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) * 1024;
  }
  return -1;
}

// Starts the peak resident size (VmHWM) afresh from the present one.
bool ResetPeakResident() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}

// The stability analysis of the run, as the logger makes it: every
// deviation at octave taus of y = f / mean - 1.
void AddAnalysis(const std::vector<double>& values, double mean, Table& t) {
  record::StabilityInput input{kIntervalS, {}, false};
  input.values.reserve(values.size());
  for (double v : values) input.values.push_back((v - mean) / mean);
  record::AnalysisOptions options;
  options.deviations.assign(std::begin(record::kAllDeviations), std::end(record::kAllDeviations));

  // Free memory back to the system first, so that the analysis cannot reuse
  // pages already counted as resident.
  malloc_trim(0);
  const bool peak = ResetPeakResident();
  const double residentBefore = StatusBytes("VmRSS");
  const auto start = std::chrono::steady_clock::now();
  const record::StabilityResult result = record::AnalyzeStability(input, options);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double residentPeak = StatusBytes("VmHWM");

  std::size_t points = 0;
  for (const record::DeviationCurve& c : result.curves) points += c.points.size();
  const double n = static_cast<double>(values.size());
  t.Add("stability analysis, 6 deviations, octave taus",
        Format("%.0f ms (%zu points)", s * 1e3, points),
        Format("<= %.0f ms", kAnalysisSTarget * 1e3), s <= kAnalysisSTarget);
  if (peak && residentBefore >= 0 && residentPeak >= residentBefore) {
    const double bytes = residentPeak - residentBefore;
    t.Add("its peak memory (VmHWM)",
          Format("%.1f bytes per reading (%.1f MB)", bytes / n, bytes / 1e6),
          Format("<= %.0f bytes", kAnalysisBytesTarget), bytes / n <= kAnalysisBytesTarget);
  } else {
    t.Add("its peak memory (VmHWM)", "not reported by this system");
  }
}

}  // namespace

int RunStats(const StatsOptions& options) {
  const std::string loadBefore = LoadAverage();
  // Frequency readings of 1 MHz with white noise, shown in kHz with 3 decimals.
  std::mt19937_64 rng(1);
  std::normal_distribution<double> noise(0.0, 0.002);
  ShownReading shown;
  shown.measureMode = 1;
  shown.reading.format = {ReadingUnit::Kilohertz, 3};

  // Drawn beforehand, so the timing holds only the statistics.
  std::vector<double> values(options.readings);
  for (double& v : values) v = std::round((1000.0 + noise(rng)) * 1000.0) / 1000.0;

  const std::size_t heapBefore = HeapInUse();
  record::Statistics stats;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < values.size(); ++i) {
    shown.reading.value = values[i];
    stats.Add(shown, static_cast<double>(i) * kIntervalS);
  }
  const double addS =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::size_t heapAfter = HeapInUse();

  const auto t0 = std::chrono::steady_clock::now();
  const record::Summary summary = stats.Summarize();
  const double summaryS =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  const double n = static_cast<double>(options.readings);
  const double bytesPer = static_cast<double>(stats.BytesUsed()) / n;
  const double heapPer = static_cast<double>(heapAfter - heapBefore) / n;
  const double dayMb = bytesPer * 24 * 3600 / kIntervalS / 1e6;

  std::printf("kolvane-bench stats: %zu readings fed to the recording statistics\n",
              options.readings);
  std::printf("  load average before %s, after %s\n", loadBefore.c_str(), LoadAverage().c_str());
  Table t;
  t.Add("memory held (BytesUsed)",
        Format("%.2f bytes per reading (%.1f MB)", bytesPer,
               static_cast<double>(stats.BytesUsed()) / 1e6),
        Format("<= %.0f bytes", kBytesTarget), bytesPer <= kBytesTarget);
  if (heapAfter > heapBefore) {
    t.Add("heap growth (mallinfo2)", Format("%.2f bytes per reading", heapPer),
          Format("<= %.0f bytes", kBytesTarget), heapPer <= kBytesTarget);
  } else {
    // A sanitizer's allocator keeps its own books.
    t.Add("heap growth (mallinfo2)", "not reported by this allocator");
  }
  t.Add("a day at 10 readings/s", Format("%.1f MB", dayMb));
  t.Add("time per Add", Format("%.1f ns", addS / n * 1e9));
  t.Add("summary with Allan deviation",
        Format("%.1f ms (%zu tau values)", summaryS * 1e3, summary.adev.size()));
  AddAnalysis(values, stats.Mean(), t);
  t.Print();
  return 0;
}

}  // namespace kolvane::bench
