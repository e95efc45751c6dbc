// Every acknowledgement rule against any answer: the rule's verdict, its
// reads and pauses are replayed from the command table on what each read
// delivered, and the exchange stays within the rule's worst case.
#include <optional>
#include <vector>

#include "fuzz/rig.h"

namespace kolvane::fuzz {
namespace {

// The rules as the command table states them, replayed on the panel's reads.
class Replay {
 public:
  Replay(const std::vector<test::ReadRecord>& reads, std::size_t from)
      : reads_(reads), next_(from) {}
  // The panel's next read must ask for n bytes; true when any arrived.
  bool Read(std::uint32_t n) {
    if (next_ >= reads_.size() || reads_[next_].asked != n) {
      Fail("acknowledgement reads as its rule says", "expected a read of " + std::to_string(n));
    }
    const test::ReadRecord& r = reads_[next_++];
    if (r.got > 0) first_ = r.data[0];
    return r.got > 0;
  }
  bool Cr() const { return first_ == 0x0D; }
  void Prime() { first_ = '&'; }
  void Pause() { pauses.push_back(1); }
  std::size_t Next() const { return next_; }
  std::vector<std::uint32_t> pauses;

 private:
  const std::vector<test::ReadRecord>& reads_;
  std::size_t next_;
  std::uint8_t first_ = '&';
};

bool Verdict(AckRule rule, bool written, Replay& r) {
  switch (rule) {
    case AckRule::kNone:
      return true;
    case AckRule::k1:
      if (r.Read(2); r.Cr()) return true;
      if (r.Read(2); r.Cr()) return true;
      r.Pause();
      return r.Read(2);
    case AckRule::k2:
      if (r.Read(2); r.Cr()) return true;
      r.Pause();
      r.Read(2);
      return r.Cr();
    case AckRule::k3:
      if (r.Read(2)) return true;
      r.Pause();
      return r.Read(2);
    case AckRule::k4:
      for (int i = 0; i < 3; ++i) {
        if (r.Read(1); r.Cr()) return true;
      }
      return false;
    case AckRule::k5:
      if (r.Read(1); r.Cr()) return true;
      if (r.Read(1); r.Cr()) return true;
      r.Prime();
      r.Read(1);
      return r.Cr();
    case AckRule::k6:
      if (r.Read(1); r.Cr()) return true;
      r.Pause();
      r.Read(1);
      return r.Cr();
    case AckRule::k7:
      if (r.Read(1)) return true;  // CR or any other byte
      r.Read(1);
      return r.Cr();
    case AckRule::k8:
      if (r.Read(1); r.Cr()) return true;
      r.Read(1);
      return r.Cr();
    case AckRule::k9:
      if (r.Read(1) || r.Read(1)) return true;
      r.Pause();
      return r.Read(1);
    case AckRule::k10: {
      const bool ok = written || r.Read(1) || r.Read(1);
      r.Read(5);  // the closing drain; after a failure too, which costs only time
      return ok;
    }
  }
  return false;
}

// Reads of up to 1000 ms each and the 1 ms pauses, per rule.
std::uint64_t RuleBound(AckRule rule) {
  constexpr std::uint64_t r = bound::kRead;
  switch (rule) {
    case AckRule::kNone:
      return 0;
    case AckRule::k1:
    case AckRule::k9:
      return 3 * r + 1;
    case AckRule::k2:
    case AckRule::k3:
    case AckRule::k6:
      return 2 * r + 1;
    case AckRule::k4:
    case AckRule::k5:
    case AckRule::k10:
      return 3 * r;
    case AckRule::k7:
    case AckRule::k8:
      return 2 * r;
  }
  return 0;
}

constexpr AckRule kRules[] = {AckRule::kNone, AckRule::k1, AckRule::k2, AckRule::k3,
                              AckRule::k4,    AckRule::k5, AckRule::k6, AckRule::k7,
                              AckRule::k8,    AckRule::k9, AckRule::k10};

}  // namespace
}  // namespace kolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kolvane;
  using namespace kolvane::fuzz;
  Tape tape(data, size);
  Rig rig(tape);
  test::PortSpec& port = rig.ports.AddPort("COM1:");
  rig.AnswerFromTape(5);
  if (!rig.Start()) Fail("the instrument on COM1 is found", "");
  for (int i = 0; i < 32 && !tape.Empty(); ++i) {
    // Rule, parameter or none, settle pause, a write that reports nothing,
    // and bytes that were on the line before the frame.
    const std::uint8_t op = tape.Byte();
    Command cmd;
    cmd.rule = kRules[(op & 0x0F) % std::size(kRules)];
    cmd.letter = static_cast<char>('A' + tape.Byte() % 26);
    cmd.param = (op & 0x10) != 0 ? kNoParam : tape.Byte();
    cmd.pauseBeforeReadMs = (op & 0x20) != 0 ? 10 : 0;
    port.writeAccepts = (op & 0x40) != 0 ? std::optional<std::uint32_t>(0) : std::nullopt;
    if ((op & 0x80) != 0) rig.QueueChunk();

    const std::size_t writes0 = rig.ports.writes.size(), reads0 = rig.ports.reads.size(),
                      sleeps0 = rig.clock.sleeps.size();
    const std::uint64_t start = rig.clock.now;
    const bool held = rig.panel.ExchangeFrame(cmd);
    const std::uint64_t took = rig.clock.now - start;

    std::string frame(1, cmd.letter);
    if (cmd.param != kNoParam) frame += static_cast<char>(cmd.param);
    frame += '\r';
    if (rig.ports.writes.size() != writes0 + 1 || rig.ports.writes.back().Text() != frame) {
      Fail("one frame of letter, parameter and CR", "");
    }
    Replay replay(rig.ports.reads, reads0);
    const bool expected = Verdict(cmd.rule, !port.writeAccepts, replay);
    if (replay.Next() != rig.ports.reads.size()) Fail("acknowledgement reads as its rule says", "");
    if (held != expected) Fail("acknowledgement verdict as its rule says", "");
    std::vector<std::uint32_t> pauses;
    if (cmd.pauseBeforeReadMs != 0) pauses.push_back(cmd.pauseBeforeReadMs);
    pauses.insert(pauses.end(), replay.pauses.begin(), replay.pauses.end());
    if (std::vector<std::uint32_t>(rig.clock.sleeps.begin() + static_cast<long>(sleeps0),
                                   rig.clock.sleeps.end()) != pauses) {
      Fail("acknowledgement pauses as its rule says", "");
    }
    if (took > cmd.pauseBeforeReadMs + RuleBound(cmd.rule)) {
      Fail("exchange within its worst case", std::to_string(took) + " ms");
    }
    rig.CheckState();
  }
  rig.Close();
  return 0;
}
