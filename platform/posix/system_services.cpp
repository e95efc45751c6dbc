#include "platform/posix/system_clock.h"
#include "platform/posix/system_deps.h"
#include "platform/system.h"

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
