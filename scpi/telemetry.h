// What the server tells about itself while it runs, for its pages and its
// metrics: the last reading, the results taken, the errors queued, the
// link's state, and the clients and commands of each protocol. Written by
// the counter thread and the network thread, read by the network thread:
// every member is guarded.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace kolvane::scpi {

// The protocols a client reaches the server by.
enum class Protocol { kRaw, kVxi11, kHttp };
inline constexpr std::array<Protocol, 3> kProtocols{Protocol::kRaw, Protocol::kVxi11,
                                                    Protocol::kHttp};
// "raw", "vxi11", "http".
const char* ProtocolName(Protocol p);

// A reading as the metrics give it.
struct LiveReading {
  std::string function;  // CONFigure?'s short token: FREQ, PER, FREQ:RAT, ...
  int channel = 0;       // 1..3
  std::string unit;      // "Hz", "s" or empty
  double value = 0;      // in that unit; NaN for the overflow text
};

struct TelemetrySnapshot {
  std::optional<LiveReading> reading;
  std::uint64_t readings = 0;
  std::map<int, std::uint64_t> errors;  // by code
  bool linkUp = false;
  std::array<std::uint64_t, 3> commands{};  // by Protocol
};

class Telemetry {
 public:
  void Reading(LiveReading r);
  void ErrorQueued(int code);
  void Link(bool up);
  void CommandRun(Protocol p);
  TelemetrySnapshot Take() const;

 private:
  mutable std::mutex mutex_;
  TelemetrySnapshot s_;
};

}  // namespace kolvane::scpi
