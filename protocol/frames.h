// Command frames and the acknowledgement rules that check the instrument's
// answer to them: the wire's own types, shared by every end of the line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kolvane {

// How a frame's acknowledgement is read; the numbers are the protocol's own.
enum class AckRule {
  kNone,  // no read at all
  k1,     // 2-byte reads: CR, CR, then anything after 1 ms
  k2,     // 2-byte reads: CR, then CR after 1 ms
  k3,     // 2-byte reads: anything, then anything after 1 ms
  k4,     // up to three 1-byte reads for a CR
  k5,     // as 4, re-priming before the third read
  k6,     // CR, then CR after 1 ms
  k7,     // any byte; only silence earns a second read, which wants CR
  k8,     // up to two 1-byte reads for a CR
  k9,     // up to three 1-byte reads for any byte, the last after 1 ms
  k10,    // the write's count, else two 1-byte reads for any byte; then a 5-byte drain
};

// A frame without a parameter byte: letter and CR only.
inline constexpr int kNoParam = -1;

struct Command {
  char letter = 0;
  int param = kNoParam;  // the raw byte: an ASCII digit, or a spin position for L and Y
  AckRule rule = AckRule::kNone;
  std::uint32_t pauseBeforeReadMs = 0;  // a settle time before the first read
};

inline constexpr std::uint8_t kCr = 0x0D;
inline constexpr std::uint8_t kPrime = '&';

// How a poll ended.
struct PollOutcome {
  enum Kind { Nothing, Stop, Reading };
  Kind kind = Nothing;
  bool late = false;  // the reply came too late to be shown
  std::uint32_t n1 = 0;
  std::uint32_t n2 = 0;
};

}  // namespace kolvane
