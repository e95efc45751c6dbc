// The panel on the fake window, the scripted port and the virtual clock,
// with the instrument's side read from the fuzz input, and the invariants
// every target checks after each step. A broken invariant aborts, which
// libFuzzer reports as a crash with the input that caused it.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "panel/panel_dlg.h"
#include "tests/support/fake_window.h"
#include "tests/support/panel_harness.h"
#include "tests/support/scripted_port.h"
#include "tests/support/virtual_clock.h"

namespace kolvane::fuzz {

[[noreturn]] void Fail(std::string_view invariant, const std::string& detail);

// The fuzz input, taken from the front; zeros once it is used up.
class Tape {
 public:
  Tape(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return pos_ >= size_; }
  std::uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
  std::string Bytes(std::size_t n);

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// The texts display 1092 may show: a reading format, the overflow text, the
// stop text or the readback's blanks.
bool IsDisplayText(std::string_view text);
// " %d" of position x 8 - 512, and "  %d" of the position.
std::string LevelText(int pos);
std::string CalibrationText(int pos);

// Checks each text as it is written: the reading display's texts, and each
// spin's buddy against the spin's position at that moment.
class FuzzWindow : public test::FakeWindow {
 public:
  using FakeWindow::FakeWindow;
  void SetText(int id, std::string_view text) override;
};

// Worst cases in virtual milliseconds, from the port's time-outs: a read
// returns within its total time-out of 1000 ms, whatever arrives.
namespace bound {
inline constexpr std::uint64_t kRead = 1000;
// Nine passes of a 100 ms pause and two reads, a read completing the
// serial byte, and the 200 ms after the answer.
inline constexpr std::uint64_t kScan = 9 * (100 + 2 * kRead) + kRead + 200;
// 10 ms, two one-byte reads for the "C", two 15-byte reads for the state.
inline constexpr std::uint64_t kReadback = 10 + 4 * kRead;
// Three status reads; for a field of n bytes, three tries of which the last
// brings one byte, then n - 1 reads that bring one byte each.
inline constexpr std::uint64_t Poll(std::uint32_t n) {
  return (3 + 2 + n) * kRead;
}
// A mode dialog: the frame sent on opening and one per choice (rule 7).
inline constexpr std::uint64_t Dialog(int choices) {
  return (1 + static_cast<std::uint64_t>(choices)) * 2 * kRead;
}
// One user action on a control, without the dialog it may open.
std::uint64_t Action(int controlId);
// One step of a spin: a change and an end of scroll, each a level or
// calibration frame (rule 5), or the 1000 ms refusal in test state.
inline constexpr std::uint64_t kSpinStep = 2 * 3 * kRead;
}  // namespace bound

struct Rig {
  explicit Rig(Tape& t);

  // Has the instrument answer every write with a chunk of the tape; with
  // a handshake, "B" CR is answered with "N" and that serial byte instead.
  void AnswerFromTape(int fixedSerial = -1);
  // Queues a chunk of the tape on the open port: a count byte (low five
  // bits; 0x20 adds a delay byte x 8 ms, 0x40 a gap byte in ms), then the bytes.
  void QueueChunk();
  // OnInitDialog, checked; true when an instrument answered.
  bool Start();
  // One poll-timer tick, checked.
  void Tick();
  // Lets ms of virtual time pass, with the ticks that fall due.
  void Wait(std::uint64_t ms);
  // The state's indices, flags and members.
  void CheckState();
  // The closing sequence, checked.
  void Close();

  Tape& tape;
  test::VirtualClock clock;
  test::ScriptedPorts ports{clock};
  NoBridge bridge;
  EmptyRegistry registry;
  test::FixedVersion version;
  PanelState state;
  FuzzWindow window{clock};
  CPanelDlg panel{state, PanelDeps{ports, clock, bridge, registry, version}};
  bool found = false;
  // Per state byte, every value an applied state reply carried: a field
  // outside its range must hold one of them, never a value of its own.
  std::array<std::bitset<256>, 15> reported{};

 private:
  void CheckReadback(std::size_t writesBefore, std::size_t readsBefore, std::size_t textsBefore,
                     const PanelState& before);
  void CheckReading(std::size_t readsBefore, std::size_t textsBefore,
                    const std::string& readingBefore);
  std::size_t progressSeen_ = 0;
};

}  // namespace kolvane::fuzz
