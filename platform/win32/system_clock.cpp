#include "platform/win32/system_clock.h"

#include <windows.h>

namespace kolvane {

void SystemClock::Sleep(std::uint32_t ms) {
  ::Sleep(ms);
}

// The performance counter: GetTickCount64 moves in steps of 10 to 16 ms.
std::uint64_t SystemClock::NowMs() {
  static const std::uint64_t frequency = [] {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);
    return static_cast<std::uint64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  const auto ticks = static_cast<std::uint64_t>(now.QuadPart);
  // In two steps, so that ticks * 1000 cannot overflow.
  return ticks / frequency * 1000u + ticks % frequency * 1000u / frequency;
}

}  // namespace kolvane
