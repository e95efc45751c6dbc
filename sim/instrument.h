// A model of the frequency counter as seen from its serial line: it takes the
// bytes the panel writes, keeps the front-panel state the frames set, and
// schedules the bytes it answers with. Time is given by the caller (ms on any
// monotonic scale), so the model runs as well under a test as behind a pty.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/decode.h"
#include "protocol/protocol.h"

namespace kolvane::sim {

using Bytes = std::vector<std::uint8_t>;
// The 15 bytes of the panel-state reply, in reply order.
using PanelBytes = std::array<std::uint8_t, 15>;

// Indexes into PanelBytes and the mode codes of byte 0: the protocol's own.
using protocol::StateByte;
using namespace protocol;

// Channel A, automatic launch, 10^-6 s time stamp, 0.1 s gate, level 0 V.
PanelBytes DefaultState();
// "b0,b1,...,b14" in decimal; nothing when malformed.
std::optional<PanelBytes> ParseState(std::string_view text);

// Frames are told apart by the known length per letter, never by a CR: the
// parameter of "L" and "Y" is a raw byte and may itself be 13.
using protocol::FrameLength;
// The frame as a log shows it: printable ASCII as is, anything else \xHH.
std::string Printable(std::span<const std::uint8_t> bytes);

// One result as the instrument would send it after 'G'.
struct Counts {
  std::uint32_t n1 = 0;
  std::uint32_t n2 = 0;
  bool wide = false;  // 8-byte field (N1 then N2)
};
// A settable input in place of the built-in ones, so that a recording's
// statistics mean something: a nominal frequency, white frequency noise (each
// result's frequency is drawn anew) and a linear drift from the first result.
struct SignalModel {
  double hz = 0;       // 0 keeps the built-in inputs
  double noiseHz = 0;  // standard deviation
  double driftHzPerS = 0;
};

// Counts for the given state, from the synthetic input: channel A a
// 12.345678 kHz pulse train with a 30 % duty cycle, B 7.654321 MHz, C 2.5 kHz,
// each with a little jitter (from rng); a 1 MHz reference while the test
// function is on. elapsedS is the time since counting began (count modes);
// ratioVariant picks A/C, C/A or B/C (0..2) in the ratio mode. A settable
// signal replaces the active channel's input; sinceFirstS drives its drift.
Counts MeasureCounts(const PanelBytes& state, std::uint8_t ratioVariant, double elapsedS,
                     std::mt19937& rng, const SignalModel& signal = {}, double sinceFirstS = 0);
// The count field, most significant byte first.
Bytes EncodeCounts(const Counts& c);

struct InstrumentOptions {
  std::uint8_t serial = 5;
  double rate = 10;  // results per second in automatic launch; 0 for none
  PanelBytes state = DefaultState();
  std::uint32_t seed = 1;
  SignalModel signal;
};

class Instrument {
 public:
  explicit Instrument(InstrumentOptions options = {});

  // Applies a fault or control word (see FaultHelp()); on failure *error says
  // why and nothing changes.
  bool ApplyWord(std::string_view word, std::string* error);
  static std::string FaultHelp();

  // Bytes from the panel at time now. Returns every frame recognised, and
  // any byte that starts no frame on its own, in order, for the log.
  std::vector<Bytes> Receive(std::span<const std::uint8_t> bytes, double now);
  // When something is next due to be sent, if anything is.
  std::optional<double> NextDue() const;
  // The chunks due by now, in order; each is written in one go.
  std::vector<Bytes> TakeDue(double now);
  // Measuring already, as an instrument whose bridge was plugged back in:
  // results flow without a handshake.
  void Begin(double now);
  // The line should be dropped (a fault asked for it).
  bool DropRequested() const { return dropNow_; }

  const PanelBytes& State() const { return state_; }
  void SetState(const PanelBytes& s);
  bool SessionOpen() const { return session_; }
  std::uint8_t SavedCalibration() const { return savedCalibration_; }

 private:
  struct Chunk {
    double at;
    std::uint64_t seq;  // keeps chunks due at the same time in order
    Bytes bytes;
  };
  // Faults that act on the answer to a frame; the key is the frame's letter
  // and digit ("M2"), or its letter alone for every frame of that letter.
  struct FrameFault {
    bool noAck = false;
    double delay = 0;
    std::optional<std::uint8_t> badAck;
    std::size_t stray = 0;
  };
  // Faults on the result stream; `left` counts results still to be hit, or
  // stays empty for all of them.
  struct CycleFault {
    std::optional<unsigned> left;
    double ms = 0;
  };
  enum class Cycle { kLateStatus, kLateCount, kShortCount, kStatusN, kStatusE, kGarbage, kZeroN2 };

  void Schedule(double at, Bytes bytes);
  void Handle(const Bytes& frame, double now);
  void Answer(const Bytes& frame, Bytes reply, double now);
  const FrameFault* FaultFor(const Bytes& frame) const;
  bool Hit(Cycle which, double* ms = nullptr);
  // Schedules one result due at `at`; returns when its last byte goes out.
  double EmitResult(double at);
  void RestartMeasurement(double now);
  double Period() const;
  void SetChannelByte(StateByte which, std::uint8_t value);
  // Makes channel A, B or C (0..2) active with its own input bytes.
  void SelectChannel(std::size_t index);
  bool Setup(const protocol::DecodedFrame& frame, double now);

  InstrumentOptions options_;
  PanelBytes state_{};
  // Bytes 7..12 for channels A, B and C; the reply shows the active one's.
  std::array<std::array<std::uint8_t, 6>, 3> channels_{};
  std::uint8_t savedCalibration_ = 0;
  std::uint8_t ratioVariant_ = 0;

  Bytes partial_;
  double partialSince_ = 0;
  std::deque<Chunk> pending_;
  std::uint64_t seq_ = 0;

  bool session_ = false;
  std::optional<double> nextResult_;
  double countingSince_ = 0;
  std::optional<double> firstResultAt_;  // the settable signal's drift starts here
  std::uint64_t resultsSent_ = 0;
  std::mt19937 rng_;

  bool silent_ = false;
  std::map<std::string, FrameFault> frameFaults_;
  std::map<Cycle, CycleFault> cycleFaults_;
  std::optional<std::size_t> shortState_;
  std::optional<std::uint64_t> dropAfter_;
  std::uint64_t framesSeen_ = 0;
  bool dropNow_ = false;
};

}  // namespace kolvane::sim
