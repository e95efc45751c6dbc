// One run of the logger: find the instrument as the panel does, read its
// configuration back, apply the requested settings with the panel's own
// frames and rules, then record every result until told to stop.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

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

enum class Channel { A, B, C };
enum class Mode { Frequency, Period, Tachometer, DutyCycle };

struct SessionRequest {
  std::optional<int> port;            // COMn only; otherwise COM1..COM9
  std::optional<int> timestampIndex;  // 1..5
  std::optional<int> gateIndex;       // 1..5
  std::optional<Channel> channel;
  std::optional<Mode> mode;
  std::optional<std::uint64_t> count;  // rows to record
  std::optional<double> durationS;
};

// Where each recorded row goes.
class IRowSink {
 public:
  virtual ~IRowSink() = default;
  // utcMs: wall time since the Unix epoch; elapsedS: since the first row.
  virtual void Row(const ShownReading& shown, std::int64_t utcMs, double elapsedS) = 0;
};

struct SessionDeps {
  ISerialPorts& ports;
  IClock& clock;
  std::function<std::int64_t()> utcNowMs;
  // Polled between results; true once a stop signal came.
  std::function<bool()> stopRequested;
  // Why COMn could not be opened; empty when it does not exist.
  std::function<std::string(const std::string& name, std::uint32_t error)> describeOpenFailure;
  std::ostream& messages;  // stderr
};

struct SessionResult {
  int status = kExitOk;
  std::uint64_t rows = 0;
};

// Runs to the end; the closing frame has been sent on every path that found
// the instrument.
SessionResult RunSession(const SessionRequest& request, SessionDeps deps, IRowSink& sink);

}  // namespace kolvane::logger
