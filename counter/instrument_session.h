// The instrument's line as every front end lives with it: the port scan,
// the readback with its retries, reading away what piled up, the lost line
// and its reopening, and the close. The panel, the logger and the SCPI
// server keep only their own reactions (texts, rows, error codes).
#pragma once

#include <cstdint>

#include "counter/counter.h"
#include "link/instrument_link.h"

namespace kolvane {

class InstrumentSession {
 public:
  InstrumentSession(ISerialPorts& ports, IClock& clock, CounterState& state)
      : link_(ports, clock, state), counter_(link_, clock, state) {}

  // COMfirst..COMlast in turn; true when the instrument answered.
  bool Scan(IScanObserver& observer, int first = 1, int last = 9) {
    return link_.Scan(observer, first, last) != 0;
  }
  // Up to `attempts` state requests until one brings a whole reply, each
  // after what waits on the line has been read away.
  StateReply ReadBack(int attempts) {
    return ReadBackWith(attempts, [this] { return counter_.ReadBack(); });
  }
  // The same with a front end's own readback, which applies what it read.
  template <class Read>
  StateReply ReadBackWith(int attempts, Read read) {
    StateReply reply = StateReply::NoReply;
    for (int i = 0; i < attempts && !link_.Lost(); ++i) {
      // Results that came meanwhile are no reply to the request.
      Drain();
      reply = read();
      if (reply == StateReply::Ok) break;
    }
    return reply;
  }
  // Reads away what the instrument sent while nothing polled: 1 KiB at a
  // time while more comes, up to 64 KiB.
  void Drain();
  // One 1 KiB read of what waits; the bytes it took.
  std::uint32_t DropUnreadInput() { return link_.DropUnreadInput(); }
  // Before polling again: the next byte should start a result, and a drain
  // may have cut one in two.
  void Resync() { link_.StartPolling(protocol::kResyncMs); }

  // A read or write failed: the port is gone until it is opened again.
  bool Lost() const { return link_.Lost(); }
  // The same port opened again after a loss; true when it opened.
  bool Reopen() { return link_.Reopen(); }
  // The panel's closing sequence, then the port given back.
  void Close() { link_.Close(); }

  Counter& Instrument() { return counter_; }
  const Counter& Instrument() const { return counter_; }
  // The exchanges themselves, for the panel's own frames and reads.
  InstrumentLink& Link() { return link_; }

 private:
  InstrumentLink link_;
  Counter counter_;
};

}  // namespace kolvane
