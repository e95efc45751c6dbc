// One run of the logger: find the instrument as the panel does, read its
// configuration back, apply the requested settings with the panel's own
// frames and rules, then record every result until told to stop.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "logger/options.h"
#include "measure/reading_sink.h"
#include "platform/clock.h"
#include "platform/serial.h"

namespace kolvane::logger {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoInstrument = 3;
inline constexpr int kExitLinkFailed = 4;
inline constexpr int kExitNotAcknowledged = 5;

struct SessionDeps {
  ISerialPorts& ports;
  IClock& clock;
  // Polled between results; true once a stop signal came.
  std::function<bool()> stopRequested;
  // Why COMn could not be opened; empty when it does not exist.
  std::function<std::string(const std::string& name, std::uint32_t error)> describeOpenFailure;
  std::ostream& messages;  // stderr
  // Runs when recording has ended, before the closing frame goes out.
  std::function<void()> beforeClose;
};

struct SessionResult {
  int status = kExitOk;
  std::uint64_t rows = 0;
};

// Runs to the end; the closing frame has been sent on every path that found
// the instrument.
// Every result goes to the sink as the panel would show it.
SessionResult RunSession(const LogOptions& request, SessionDeps deps, IReadingSink& sink);

}  // namespace kolvane::logger
