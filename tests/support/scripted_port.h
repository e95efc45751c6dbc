// A fake serial layer on the virtual clock. Each named port can be absent,
// fail its configuration, or hold bytes that "arrive" at virtual times; a
// read waits for them by the Win32 time-out rules of the port.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/serial.h"
#include "tests/support/virtual_clock.h"

namespace kolvane::test {

struct WriteRecord {
  std::uint64_t at = 0;  // virtual time of the write
  std::string port;
  std::vector<std::uint8_t> bytes;
  std::string Text() const { return std::string(bytes.begin(), bytes.end()); }
};

struct ReadRecord {
  std::uint64_t at = 0;  // when the read began
  std::uint32_t asked = 0;
  std::uint32_t got = 0;
  std::uint64_t took = 0;
  std::vector<std::uint8_t> data;  // what arrived, in order
};

struct PortSpec {
  bool exists = true;
  bool setStateFails = false;
  bool setTimeoutsFails = false;
  std::uint32_t lastError = 31;  // ERROR_GEN_FAILURE
  CommTimeouts initialTimeouts{1, 2, 3, 4, 5};
  // How many bytes a write reports as accepted; by default all.
  std::optional<std::uint32_t> writeAccepts;
};

class ScriptedPorts : public ISerialPorts {
 public:
  using Responder = std::function<void(ScriptedPorts&, const std::vector<std::uint8_t>& frame)>;

  explicit ScriptedPorts(VirtualClock& clock) : clock_(clock) {}

  // Declares a port; ports not declared do not exist.
  PortSpec& AddPort(const std::string& name, PortSpec setup = {});
  // Called after every successful write, to script the instrument's answer.
  void OnWrite(Responder r) { responder_ = std::move(r); }
  // Queues bytes on the port that is open now, arriving delayMs from now.
  void Reply(std::span<const std::uint8_t> bytes, std::uint64_t delayMs = 0);
  void Reply(const std::string& bytes, std::uint64_t delayMs = 0);
  // Bytes arriving one by one, gapMs apart, the first delayMs from now.
  void ReplySpaced(const std::string& bytes, std::uint64_t delayMs, std::uint64_t gapMs);
  std::size_t Pending() const;
  // Pulls the bridge: open handles of the port fail every read and write,
  // and it cannot be opened until Replug.
  void Unplug(const std::string& name);
  void Replug(const std::string& name);

  PortHandle Open(const std::string& name) override;
  bool GetCommState(PortHandle h, Dcb& dcb) override;
  bool SetCommState(PortHandle h, const Dcb& dcb) override;
  bool GetCommTimeouts(PortHandle h, CommTimeouts& t) override;
  bool SetCommTimeouts(PortHandle h, const CommTimeouts& t) override;
  bool Write(PortHandle h, const std::uint8_t* data, std::uint32_t n,
             std::uint32_t* written) override;
  bool Read(PortHandle h, std::uint8_t* data, std::uint32_t n, std::uint32_t* got) override;
  bool Close(PortHandle h) override;
  std::uint32_t LastError() override { return lastError_; }

  // What happened.
  std::vector<std::string> opened;  // names, in order of successful opens
  std::vector<std::string> openAttempts;
  std::vector<std::string> closed;
  std::vector<WriteRecord> writes;
  std::vector<ReadRecord> reads;
  std::map<std::string, Dcb> states;
  std::map<std::string, CommTimeouts> timeouts;  // as last set
  std::vector<std::string> WrittenFrames() const;

 private:
  struct Open_ {
    std::string name;
    bool open = false;
    bool dead = false;
    std::deque<std::pair<std::uint64_t, std::uint8_t>> incoming;
    CommTimeouts t{};
  };
  Open_* Find(PortHandle h);
  Open_* Current();

  VirtualClock& clock_;
  std::map<std::string, PortSpec> setups_;
  std::vector<Open_> handles_;  // handle = index + 1
  Responder responder_;
  std::uint32_t lastError_ = 0;
};

}  // namespace kolvane::test
