#include "platform/posix/port_diagnostics.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

namespace kolvane {
namespace {

struct DiagnosticCase {
  std::uint32_t error;
  std::string expected;  // a part of the line; empty: no line at all
};

TEST(PortDiagnostics, NameTheDeviceTheReasonAndTheRemedy) {
  setenv("KOLVANE_PORTS", "/tmp/kolvane-ports", 1);
  const DiagnosticCase cases[] = {
      {EACCES, "/tmp/kolvane-ports/com3 (COM3): permission denied; add yourself to the dialout"},
      {EBUSY, "/tmp/kolvane-ports/com3 (COM3): busy; another program holds it"},
      {EIO, "/tmp/kolvane-ports/com3 (COM3): Input/output error"},
      {ENOENT, ""},
  };
  for (const auto& c : cases) {
    const std::string line = DescribePortOpenFailure("COM3:", c.error);
    if (c.expected.empty()) {
      EXPECT_EQ(line, "") << c.error;
    } else {
      EXPECT_EQ(line.rfind(c.expected, 0), 0u) << line;
    }
  }
  unsetenv("KOLVANE_PORTS");
}

}  // namespace
}  // namespace kolvane
