// The SCPI instrument behind every connection: the counter found on a port,
// and one session per connection with its own error queue and status
// registers. Used from one thread: the network side hands it one line at a
// time, in the order the lines arrived.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "counter/counter.h"  // IScanObserver
#include "measure/reading_sink.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "scpi/telemetry.h"

namespace kolvane {
class PanelModel;
}

namespace kolvane::scpi {

struct EngineDeps {
  ISerialPorts& ports;
  IClock& clock;
};

// What *IDN? says, field by field.
struct Identity {
  std::string manufacturer;  // "Kolvane"
  std::string model;
  std::string serial;   // the panel's serial field without its leading blanks
  std::string version;  // the program's version
};

class Session;

class Engine {
 public:
  explicit Engine(EngineDeps deps);
  ~Engine();

  // Finds the instrument on COMfirst..COMlast as the logger does and reads
  // its configuration back; false when no port answered (the observer has
  // heard why, port by port).
  bool Connect(int first, int last, IScanObserver& observer);
  Identity Identify() const;
  // The panel's closing sequence: "J" CR, 100 ms, the time-outs restored.
  void Close();

  std::unique_ptr<Session> OpenSession();

  // Between commands, on the same thread: the panel's poll in automatic
  // launch (never waiting on a quiet line), so that the telemetry stays live.
  void Tick();
  // The panel's user, on the same thread: see Instrument::AsUser.
  void AsUser(const std::function<void(PanelModel&, bool linkUp)>& action);
  void View(const std::function<void(const PanelModel&, bool linkUp)>& view);
  // What the server tells about itself; safe from any thread.
  Telemetry& Live();
  // Before the commands start: see Instrument::WatchShown.
  void WatchShown(std::function<void(const ShownReading&)> watch);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

class Session {
 public:
  virtual ~Session() = default;
  // Runs one program message (a line without its LF or CR LF). Returns the
  // reply line without its LF, or nothing when the line held no query.
  virtual std::optional<std::string> Execute(std::string_view line) = 0;
  // The connection sent more than 64 KiB without a LF: -363 is queued and
  // the rest up to the next LF is dropped by the caller.
  virtual void InputOverrun() = 0;
  // The errors the last Execute queued, as SYSTem:ERRor? would give them
  // (those lost to a full queue too), for a log; the queue keeps them.
  virtual std::vector<std::string> LastErrors() const = 0;
  // A flag that another thread sets to stop the line in hand (VXI-11's
  // device_clear and device_abort): a reading query waiting for a result
  // ends with no reply and no error queued, and the rest of the line is
  // dropped. The caller clears it before the next line; null: none.
  virtual void WatchCancel(const std::atomic<bool>* flag) = 0;
};

}  // namespace kolvane::scpi
