#pragma once

#include "platform/clock.h"

namespace kolvane {

class SystemClock : public IClock {
 public:
  void Sleep(std::uint32_t ms) override;
  std::uint64_t NowMs() override;
};

}  // namespace kolvane
