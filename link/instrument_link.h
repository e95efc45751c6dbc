// The instrument's end of the serial line: the port handle, the frame and
// reply buffers and the saved time-outs, with every exchange the panel and
// the logger run over them. It drives no controls; what a scan finds or
// fails on goes to an observer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/serial.h"
#include "protocol/frames.h"

namespace kolvane {

struct LinkState {
  PortHandle portHandle = 0;
  std::uint32_t portFound = 0;
  CommTimeouts savedTimeouts{};
  std::array<std::uint8_t, 3> txFrame{};
  std::array<std::uint8_t, 16> rxBuffer{};
};

// What a scan reports, port by port, in the order it happens.
class IScanObserver {
 public:
  virtual ~IScanObserver() = default;
  virtual void OnScanStart() {}
  // COMn could not be opened; error is the port layer's code.
  virtual void OnOpenFailed(int /*n*/, const std::string& /*name*/, std::uint32_t /*error*/) {}
  virtual void OnStateFailed(int /*n*/, std::uint32_t /*error*/) {}
  virtual void OnTimeoutsFailed(int /*n*/) {}
  // The port opened but nothing answered the handshake.
  virtual void OnNoAnswer(int /*n*/) {}
  // The instrument answered on COMn; serial is empty when its byte never came.
  virtual void OnFound(int /*n*/, std::optional<std::uint8_t> /*serial*/) {}
};

enum class StateReply { Ok, NoReply, Short };

// The link's read and write time-outs: a read returns within 1000 ms.
inline constexpr CommTimeouts kLinkTimeouts{100, 0, 1000, 0, 800};

class InstrumentLink {
 public:
  InstrumentLink(ISerialPorts& ports, IClock& clock, LinkState& state)
      : ports_(ports), clock_(clock), st_(state) {}

  // Tries COMfirst..COMlast in turn with the presence handshake; returns
  // portFound (1 when the instrument answered).
  int Scan(IScanObserver& observer, int first = 1, int last = 9);

  // Writes and reads through the seam; the counts of bytes moved. After a
  // hard error on the port they move nothing and return at once.
  std::uint32_t Write(const std::uint8_t* data, std::uint32_t n);
  std::uint32_t Read(std::uint8_t* data, std::uint32_t n);
  // Reads an n-byte field: up to `attempts` reads until one brings a byte,
  // then more reads for the rest while each brings something.
  std::uint32_t ReadField(std::uint8_t* data, std::uint32_t n, int attempts);

  // Writes the frame and applies its acknowledgement rule; true when it held.
  bool Exchange(const Command& cmd);
  // Reads away at once whatever has already arrived, up to 1 KiB; the count
  // of bytes read away.
  std::uint32_t DropUnreadInput();
  // Reads on until the line has been quiet for a moment, so that the next
  // byte starts a result. Bounded by maxMs.
  void SkipToQuiet(std::uint32_t maxMs);
  // Before the first poll after exchanges. A result that began after the
  // last reply stays whole: when the acknowledgement's read also took the
  // byte behind its CR, that byte is the result's status and the next poll
  // starts from it. Only when a reply's reads took bytes whose place in a
  // result is unknown (a result arriving before the reply, a wrong reply)
  // is the line read until quiet, bounded by maxMs.
  void StartPolling(std::uint32_t maxMs);
  // "D1" CR and its reply; the 15 state bytes are left in rxBuffer.
  StateReply RequestState();
  // One poll for a result with a field of fieldLength count bytes. The
  // panel's poll gives the status three reads and takes one that needed the
  // third as too late; a patient poll (the logger's, which polls back to
  // back) reads once and never drops a status that came.
  PollOutcome Poll(std::uint32_t fieldLength, bool patient = false);
  // Whether a status byte has arrived, looked at without waiting: one it
  // finds is held for the next Poll. For a front end that polls between
  // other work and must not wait on a quiet line.
  bool StatusWaiting();
  // The closing frame "J" CR, the pause, the saved time-outs back, the port
  // closed. Safe on a dead or never opened port.
  void Close();

  // A hard error (not a time-out) happened on the open port.
  bool Lost() const { return lost_; }
  // Opens COMn again as the scan configures it, without the handshake.
  bool Reopen();
  // The COM number the link was found on, 0 before.
  int PortNumber() const { return portNumber_; }
  LinkState& State() { return st_; }

 private:
  bool Open(int n, IScanObserver& observer);
  void DropPort();
  bool Valid() const { return st_.portHandle != 0 && st_.portHandle != kInvalidPortHandle; }
  void NoteFailure(bool ok);

  // Where the line stands after the last reply's reads.
  enum class AfterReply {
    kAligned,      // they took the reply and nothing else
    kStatusTaken,  // they also took the one byte that followed the CR
    kUnknown,      // they took other bytes: the next may be inside a result
  };

  ISerialPorts& ports_;
  IClock& clock_;
  LinkState& st_;
  bool lost_ = false;
  int portNumber_ = 0;
  AfterReply afterReply_ = AfterReply::kAligned;
  std::uint8_t byteAfterReply_ = 0;
  std::optional<std::uint8_t> heldStatus_;  // the next poll's status byte
};

}  // namespace kolvane
