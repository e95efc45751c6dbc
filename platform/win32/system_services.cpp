#include "platform/system.h"
#include "platform/win32/system_clock.h"
#include "platform/win32/system_deps.h"

namespace kolvane {

SystemServices MakeSystemServices() {
  SystemServices s;
  s.ports = MakeSerialPorts();
  s.clock = std::make_unique<SystemClock>();
  s.bridge = MakeBridgeLibrary();
  s.registry = MakeRegistry();
  s.version = MakeSystemVersion();
  return s;
}

}  // namespace kolvane
