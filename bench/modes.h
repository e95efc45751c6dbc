// The modes of kolvane-bench and their options.
#pragma once

#include <cstddef>

namespace kolvane::bench {

struct PanelOptions {
  double seconds = 30;
  bool record = false;  // a recording sink on the panel, writing a CSV
  bool paints = false;  // count the paint events per widget
};
int RunPanel(const PanelOptions& options, int argc, char** argv);

struct LoggerOptions {
  double seconds = 20;
  // 19200 baud 8N1 carries 1920 bytes/s; a frequency result is 5 bytes.
  double rate = 384;
};
int RunLogger(const LoggerOptions& options);

struct StatsOptions {
  std::size_t readings = 1000000;
};
int RunStats(const StatsOptions& options);

struct ScpiOptions {
  double seconds = 10;    // each phase of reading, and the idle one
  int idnQueries = 2000;  // round trips of *IDN?
};
int RunScpi(const ScpiOptions& options);

struct WebOptions {
  double seconds = 60;
  int pages = 20;  // open on /panel/live at once
};
int RunWeb(const WebOptions& options);

}  // namespace kolvane::bench
