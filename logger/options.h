// The command line of kolvane-log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/stability.h"

namespace kolvane::logger {

enum class Channel { A, B, C };
enum class LogMode { Frequency, Period, Tachometer, DutyCycle };

struct LogOptions {
  std::optional<int> port;            // 1..9: COMn only; none: scan
  std::optional<int> timestampIndex;  // 1..5: 100ns .. 1ms, frames "M1".."M5"
  std::optional<int> gateIndex;       // 1..5: 1ms .. 10s, frames "T1".."T5"
  std::optional<Channel> channel;
  std::optional<LogMode> mode;
  std::optional<std::uint64_t> count;  // > 0
  std::optional<double> durationS;     // > 0
  std::string csv = "-";               // "-": standard output
  std::optional<std::string> summary;  // JSON file
  std::optional<std::string> plot;     // ends in .png or .svg
  // The stability analysis at the end of a run or of --analyze.
  record::AnalysisOptions analysis;
  // --analyze: a recording read from this file, no instrument.
  std::optional<std::string> analyze;
  // How to take a plain file of numbers (with --analyze only).
  std::optional<double> tau0S;  // > 0
  bool phase = false;           // --phase; --frequency is the default
  bool fractional = false;      // the frequency values are fractional already
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses argv[1..]; on failure returns false and sets *error to a line
// (without the line feed) naming the bad value and what is accepted.
bool ParseLogOptions(const std::vector<std::string>& args, LogOptions* out, std::string* error);

std::string LogHelp();

}  // namespace kolvane::logger
