// Listeners of the measurement cycle: each result the panel shows is handed
// on as the value and format it was shown with, so a recorder never has to
// read the display text back.
#pragma once

#include <cstdint>

#include "measure/compute.h"

namespace kolvane {

enum class ShownKind {
  Value,  // a reading; reading.format.unit is Overflow for the overflow text
  Stop,   // the instrument reported an interruption ('N')
};

struct ShownReading {
  ShownKind kind = ShownKind::Value;
  std::uint32_t measureMode = 0;  // 1..12, the mode the result was converted for
  Reading reading{};              // as ComputeReading gave it; only for Value
};

class IReadingSink {
 public:
  virtual ~IReadingSink() = default;
  virtual void OnShown(const ShownReading& shown) = 0;
};

}  // namespace kolvane
