#pragma once

#include <cstdint>

namespace kolvane {

class IClock {
 public:
  virtual ~IClock() = default;
  virtual void Sleep(std::uint32_t ms) = 0;
  // Milliseconds from an arbitrary origin; never goes backwards.
  virtual std::uint64_t NowMs() = 0;
};

}  // namespace kolvane
