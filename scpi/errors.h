// The error codes a session queues: the standard ones of SCPI-99 and
// IEEE 488.2, and the instrument's own faults, which have positive codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace kolvane::scpi {

namespace err {
// Command errors.
inline constexpr int kInvalidCharacter = -101;
inline constexpr int kSyntax = -102;
inline constexpr int kDataType = -104;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kHeaderSuffix = -114;
inline constexpr int kInvalidSuffix = -131;
inline constexpr int kInvalidCharacterData = -141;
// Execution errors.
inline constexpr int kSettingsConflict = -221;
inline constexpr int kOutOfRange = -222;
inline constexpr int kIllegalValue = -224;
inline constexpr int kStale = -230;
inline constexpr int kHardware = -240;
// Device-specific errors.
inline constexpr int kQueueOverflow = -350;
inline constexpr int kInputOverrun = -363;
// Query errors.
inline constexpr int kQueryInterrupted = -410;
inline constexpr int kQueryUnterminated = -420;

// The instrument's faults.
// | code | text                         | when                                              |
// |------|------------------------------|---------------------------------------------------|
// | 201  | Setting not acknowledged     | the instrument did not acknowledge a frame; the   |
// |      |                              | detail names the frame, e.g. "T3"                 |
// | 202  | Configuration not read back  | no whole reply to the state request "D1" after a  |
// |      |                              | channel change or *RST                            |
// | 203  | No result within the gate    | no result came within the gate time plus the      |
// |      |                              | link's time-outs; the reading is +9.91E+37        |
inline constexpr int kNotAcknowledged = 201;
inline constexpr int kNotReadBack = 202;
inline constexpr int kNoResult = 203;
}  // namespace err

struct Error {
  int code = 0;
  // What happened in this case, after the code's own text.
  std::string detail;
};

// The code's text; empty for a code that is neither standard nor ours.
std::string_view ErrorText(int code);

// `<code>,"<text>[;<detail>]"`, as SYSTem:ERRor? gives it.
std::string FormatError(const Error& e);

// The error queue: 20 entries, first in first out; on overflow the last is
// replaced by -350.
class ErrorQueue {
 public:
  static constexpr std::size_t kCapacity = 20;
  void Push(Error e);
  std::optional<Error> Pop();
  std::size_t Size() const { return q_.size(); }
  void Clear() { q_.clear(); }
  const std::deque<Error>& Entries() const { return q_; }
  // Every error ever queued, overflowed ones included.
  std::uint64_t Pushed() const { return pushed_; }

 private:
  std::deque<Error> q_;
  std::uint64_t pushed_ = 0;
};

}  // namespace kolvane::scpi
