#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace kolvane::test {

// Time passes only when the logic sleeps or a scripted read waits.
class VirtualClock : public IClock {
 public:
  void Sleep(std::uint32_t ms) override {
    sleeps.push_back(ms);
    now += ms;
  }
  std::uint64_t NowMs() override { return now; }
  void AdvanceTo(std::uint64_t t) {
    if (t > now) now = t;
  }

  std::uint64_t now = 0;
  std::vector<std::uint32_t> sleeps;
};

}  // namespace kolvane::test
