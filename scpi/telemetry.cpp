#include "scpi/telemetry.h"

namespace kolvane::scpi {

const char* ProtocolName(Protocol p) {
  switch (p) {
    case Protocol::kRaw:
      return "raw";
    case Protocol::kVxi11:
      return "vxi11";
    case Protocol::kHttp:
      return "http";
  }
  return "raw";
}

void Telemetry::Reading(LiveReading r) {
  std::lock_guard lock(mutex_);
  s_.reading = std::move(r);
  ++s_.readings;
}

void Telemetry::ErrorQueued(int code) {
  std::lock_guard lock(mutex_);
  ++s_.errors[code];
}

void Telemetry::Link(bool up) {
  std::lock_guard lock(mutex_);
  s_.linkUp = up;
}

void Telemetry::CommandRun(Protocol p) {
  std::lock_guard lock(mutex_);
  ++s_.commands[static_cast<std::size_t>(p)];
}

TelemetrySnapshot Telemetry::Take() const {
  std::lock_guard lock(mutex_);
  return s_;
}

}  // namespace kolvane::scpi
