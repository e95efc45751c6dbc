// kolvane-log: records the instrument's readings as CSV, with a summary,
// statistics and Allan deviation, over the same link code as the panel.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "logger/options.h"
#include "logger/session.h"
#include "record/file_name.h"
#include "record/names.h"
#include "record/recorder.h"
#include "record/recording_file.h"
#include "record/recording_grid.h"
#include "record/statistics.h"
#include "record/status_line.h"
#include "record/summary.h"
#include "version.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, whose macros it uses.
#include <shellapi.h>

#include "platform/win32/port_diagnostics.h"
#include "platform/win32/system_clock.h"
#include "platform/win32/system_deps.h"
#else
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "app/plot/plot.h"
#include "platform/posix/port_diagnostics.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/system_deps.h"
#endif

namespace {

using namespace kolvane;

volatile std::sig_atomic_t stopSignal = 0;

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD) {
  stopSignal = 1;
  return TRUE;
}

void CatchStopSignals() {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

std::size_t TerminalWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
  }
  return 80;
}

// The arguments as UTF-8, from the wide command line: argv holds them in the
// ANSI code page, which loses every letter outside it (a Cyrillic file name
// on a Western system).
std::vector<std::string> Arguments(int argc, char** argv) {
  int n = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < n; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
    arg.resize(arg.size() - 1);  // the terminating NUL
    args.push_back(std::move(arg));
  }
  LocalFree(wide);
  return args;
}
#else
void OnStopSignal(int) {
  stopSignal = 1;
}

void CatchStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
  // A closed pipe ends the run through a failed write, not by killing it
  // before the closing frame.
  signal(SIGPIPE, SIG_IGN);
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) != 0;
}

std::size_t TerminalWidth() {
  winsize ws{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}
#endif

int Fail(const std::string& message) {
  std::fprintf(stderr, "kolvane-log: %s\n", message.c_str());
  return logger::kExitUsage;
}

// True when the file can be written; a file made only to find out is removed.
bool Writable(const std::string& name) {
  const std::filesystem::path path = record::PathFromUtf8(name);
  const bool existed = static_cast<bool>(std::ifstream(path));
  const bool ok = static_cast<bool>(std::ofstream(path, std::ios::app));
  if (ok && !existed) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  return ok;
}

// Every row to the recorder, and the live line on a terminal.
class LiveSink : public IReadingSink {
 public:
  LiveSink(record::Recorder& recorder, record::Statistics& stats, const logger::LogOptions& o,
           bool live)
      : recorder_(recorder), stats_(stats), options_(o), live_(live) {}

  void OnShown(const ShownReading& shown) override {
    recorder_.OnShown(shown);
    if (!live_) return;
    record::StatusInfo info;
    info.elapsedS = recorder_.ElapsedS();
    if (options_.count) {
      info.fraction = static_cast<double>(recorder_.Rows()) / static_cast<double>(*options_.count);
    } else if (options_.durationS) {
      info.fraction = std::min(1.0, info.elapsedS / *options_.durationS);
    }
    info.last = record::ShortText(shown);
    info.n = stats_.Count();
    info.mean = stats_.Mean();
    info.stdev = stats_.Stdev();
    const std::size_t width = TerminalWidth();
    std::fprintf(stderr, "\r%s\x1b[K", record::StatusLine(info, width > 1 ? width - 1 : 1).c_str());
    std::fflush(stderr);
    shown_ = true;
  }

  // Ends the live line so that what follows starts on a line of its own.
  void EndLine() {
    if (shown_) std::fputs("\n", stderr);
  }

 private:
  record::Recorder& recorder_;
  record::Statistics& stats_;
  const logger::LogOptions& options_;
  bool live_;
  bool shown_ = false;
};

// The end of a run or of --analyze: the summary on standard error, then the
// JSON and the plot asked for; kExitUsage when one of them cannot be written.
int Report(const record::Summary& summary, const record::ReadingSeries& series,
           const logger::LogOptions& options) {
  int status = logger::kExitOk;
  std::fputs(record::SummaryText(summary).c_str(), stderr);
  if (options.summary) {
    std::ofstream out(record::PathFromUtf8(*options.summary), std::ios::binary | std::ios::trunc);
    out << record::SummaryJson(summary);
    if (!out.flush()) {
      std::fprintf(stderr, "kolvane-log: cannot write '%s'\n", options.summary->c_str());
      status = logger::kExitUsage;
    }
  }
#ifndef _WIN32
  if (options.plot) {
    const std::string why = qt::WritePlot(summary, series, *options.plot);
    if (!why.empty()) {
      std::fprintf(stderr, "kolvane-log: cannot draw '%s': %s\n", options.plot->c_str(),
                   why.c_str());
      status = logger::kExitUsage;
    }
  }
#else
  (void)series;
#endif
  return status;
}

// --analyze: a recording from a file, no instrument.
int Analyze(const logger::LogOptions& options) {
  const record::PlainNumbers plain{options.tau0S, options.phase, options.fractional,
                                   options.tau0S || options.phase || options.fractional};
  record::Recording recording;
  std::string error;
  if (!record::ReadRecording(record::PathFromUtf8(*options.analyze), *options.analyze, plain,
                             &recording, &error)) {
    return Fail(error);
  }
  record::Summary summary = recording.Summarize();
  record::AddAnalysis(recording.input, recording.applies, options.analysis, &summary);
  return Report(summary, recording.Series(), options);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = Arguments(argc, argv);
  logger::LogOptions options;
  std::string error;
  if (!logger::ParseLogOptions(args, &options, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return logger::kExitUsage;
  }
  if (options.help) {
    std::fputs(logger::LogHelp().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::puts("kolvane-log " KOLVANE_VERSION);
    return 0;
  }
#ifdef _WIN32
  if (options.plot) {
    return Fail("--plot '" + *options.plot +
                "': this Windows build cannot draw plots; record the CSV and the summary, and "
                "plot on Linux or leave out --plot");
  }
#endif

  for (const auto* path : {&options.summary, &options.plot}) {
    if (*path && !Writable(**path)) {
      return Fail("cannot write '" + **path + "': " + std::strerror(errno));
    }
  }
  if (options.analyze) return Analyze(options);

  // Every file is checked before the first frame goes out.
  std::ofstream csvFile;
  std::ostream* csv = &std::cout;
  if (options.csv != "-") {
    csvFile.open(record::PathFromUtf8(options.csv), std::ios::binary | std::ios::trunc);
    if (!csvFile) return Fail("cannot write --csv '" + options.csv + "': " + std::strerror(errno));
    csv = &csvFile;
  }

  CatchStopSignals();
  const auto ports = MakeSerialPorts();
  SystemClock clock;
  record::Statistics stats;
  record::RecordingGrid grid;
  record::Recorder recorder(csv, &stats, record::SystemNow);
  recorder.SetGrid(&grid);
  LiveSink sink(recorder, stats, options, StderrIsTerminal() && !options.quiet);

  int endStatus = logger::kExitOk;
  const auto finish = [&] {
    sink.EndLine();
    // The analysis of the rows recorded, as --analyze makes it of their CSV.
    record::Summary summary = stats.Summarize();
    record::StabilityInput input;
    std::size_t badRow = 0;
    std::string why;
    if (grid.Build(&input, &badRow, &why)) {
      record::AddAnalysis(input, grid.Applies(), options.analysis, &summary);
    } else {
      std::fprintf(stderr, "kolvane-log: no stability analysis: row %zu: %s\n", badRow + 1,
                   why.c_str());
    }
    endStatus = Report(summary, stats.Series(), options);
  };

  logger::SessionDeps deps{*ports,
                           clock,
                           [&] { return stopSignal != 0 || recorder.WriteFailed(); },
                           DescribePortOpenFailure,
                           std::cerr,
                           finish};
  const logger::SessionResult result = logger::RunSession(options, deps, sink);
  if (result.status != logger::kExitOk) return result.status;
  if (recorder.WriteFailed()) {
    return Fail("writing the CSV to '" + options.csv + "' failed; the rows before are kept");
  }
  return endStatus;
}
