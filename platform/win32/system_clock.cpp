#include "platform/win32/system_clock.h"

#include <windows.h>

namespace kolvane {

void SystemClock::Sleep(std::uint32_t ms) {
  ::Sleep(ms);
}

// GetTickCount64 does not wrap after 49 days as GetTickCount does.
std::uint64_t SystemClock::NowMs() {
  return ::GetTickCount64();
}

}  // namespace kolvane
