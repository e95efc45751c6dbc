// Placeholder until the termios port is built: no port exists.
#include "platform/posix/system_deps.h"

namespace kolvane {

namespace {
class NoPorts : public ISerialPorts {
 public:
  PortHandle Open(const std::string&) override { return kInvalidPortHandle; }
  bool GetCommState(PortHandle, Dcb&) override { return false; }
  bool SetCommState(PortHandle, const Dcb&) override { return false; }
  bool GetCommTimeouts(PortHandle, CommTimeouts&) override { return false; }
  bool SetCommTimeouts(PortHandle, const CommTimeouts&) override { return false; }
  bool Write(PortHandle, const std::uint8_t*, std::uint32_t, std::uint32_t* w) override {
    *w = 0;
    return false;
  }
  bool Read(PortHandle, std::uint8_t*, std::uint32_t, std::uint32_t* g) override {
    *g = 0;
    return false;
  }
  bool Close(PortHandle) override { return false; }
  std::uint32_t LastError() override { return 2; }
};
}  // namespace

std::unique_ptr<ISerialPorts> MakeSerialPorts() { return std::make_unique<NoPorts>(); }

}  // namespace kolvane
