#include "measure/result.h"

#include "protocol/protocol.h"

namespace kolvane {

std::uint32_t ResultFieldLength(std::uint32_t measureMode) {
  return measureMode == protocol::MeasureMode(protocol::kDuration4) ||
                 measureMode == protocol::MeasureMode(protocol::kDutyCycle)
             ? 8
             : 4;
}

std::optional<ShownReading> ShownFromPoll(const PollOutcome& poll, const CycleSettings& s) {
  if (poll.kind == PollOutcome::Stop) return ShownReading{ShownKind::Stop, s.measureMode, {}};
  if (poll.kind != PollOutcome::Reading) return std::nullopt;
  ReadingInputs in;
  in.measureMode = s.measureMode;
  in.timestampIndex = s.timestampIndex;
  in.gateIndex = s.gateIndex;
  in.launch = s.singleShot != 0 ? LaunchBranch::SingleShot : LaunchBranch::Automatic;
  in.testMeasureToggle = s.testMeasureToggle;
  in.n1 = poll.n1;
  in.n2 = poll.n2;
  const auto reading = ComputeReading(in);
  if (!reading) return std::nullopt;
  return ShownReading{ShownKind::Value, s.measureMode, *reading};
}

}  // namespace kolvane
