// The Win32 COM ports under Wine: names, missing ports, unknown handles and,
// when KOLVANE_TEST_PORT names a port with the simulator behind it, the
// settings, time-outs and the presence handshake on a real line.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/win32/system_clock.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_serial.h"

namespace kolvane::test {
namespace {

struct NameCase {
  const char* name;
  std::optional<std::string> device;
};

void PrintTo(const NameCase& c, std::ostream* os) {
  *os << '"' << c.name << '"';
}

const NameCase kNames[] = {
    {"COM1:", "COM1:"},
    {"com3:", "com3:"},
    {"COM9:", "COM9:"},
    {"COM10:", "\\\\.\\COM10"},
    {"COM255:", "\\\\.\\COM255"},
    {"COM256:", std::nullopt},
    {"COM0:", std::nullopt},
    {"COM01:", std::nullopt},
    {"COM1", std::nullopt},
    {"COMA:", std::nullopt},
    {"COM:", std::nullopt},
    {"LPT1:", std::nullopt},
    {"NUL", std::nullopt},
    {"C:\\windows\\win.ini", std::nullopt},
    {"\\\\.\\COM1", std::nullopt},
};

class PortNames : public testing::TestWithParam<NameCase> {};

TEST_P(PortNames, OnlyComPortsReachTheSystem) {
  EXPECT_EQ(Win32DeviceName(GetParam().name), GetParam().device);
}

INSTANTIATE_TEST_SUITE_P(Win32, PortNames, testing::ValuesIn(kNames));

TEST(Win32Serial, MissingPortFailsToOpen) {
  Win32SerialPorts ports;
  EXPECT_EQ(ports.Open("COM9:"), kInvalidPortHandle);
  EXPECT_NE(ports.LastError(), 0u);
}

TEST(Win32Serial, FileThatIsNoPortIsNeverOpened) {
  // win.ini exists in every prefix; a name that is no COM port must not open it.
  ASSERT_NE(::GetFileAttributesA("C:\\windows\\win.ini"), INVALID_FILE_ATTRIBUTES);
  Win32SerialPorts ports;
  EXPECT_EQ(ports.Open("C:\\windows\\win.ini"), kInvalidPortHandle);
  EXPECT_EQ(ports.LastError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

class UnknownHandle : public testing::TestWithParam<PortHandle> {};

TEST_P(UnknownHandle, EveryCallFailsAsAnInvalidHandle) {
  Win32SerialPorts ports;
  const PortHandle h = GetParam();
  Dcb dcb;
  CommTimeouts t;
  std::uint8_t bytes[2] = {'B', '\r'};
  std::uint32_t count = 99;
  const auto invalid = static_cast<std::uint32_t>(ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ports.GetCommState(h, dcb));
  EXPECT_EQ(ports.LastError(), invalid);
  EXPECT_FALSE(ports.SetCommState(h, dcb));
  EXPECT_FALSE(ports.GetCommTimeouts(h, t));
  EXPECT_FALSE(ports.SetCommTimeouts(h, t));
  EXPECT_FALSE(ports.Write(h, bytes, 2, &count));
  EXPECT_EQ(count, 0u);
  count = 99;
  EXPECT_FALSE(ports.Read(h, bytes, 2, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(ports.Close(h));
  EXPECT_EQ(ports.LastError(), invalid);
}

// 0 and -1 are what the panel holds before a scan and after a failed open;
// the pseudo-handle -1 is also the process's own.
INSTANTIATE_TEST_SUITE_P(Win32, UnknownHandle, testing::Values(0, kInvalidPortHandle, 1, 4242));

TEST(Win32Clock, SleepsAndCountsMilliseconds) {
  SystemClock clock;
  const std::uint64_t start = clock.NowMs();
  clock.Sleep(100);
  const std::uint64_t elapsed = clock.NowMs() - start;
  EXPECT_GE(elapsed, 95u);
  EXPECT_LT(elapsed, 3000u);  // generous: a loaded machine
}

TEST(Win32Version, IsAnNtVersionWithTheUsbEnumKeys) {
  // Windows 7 or later: NT (bit 31 clear), major version 5 or above.
  const std::uint32_t v = Win32SystemVersion().GetVersion();
  EXPECT_EQ(v & 0x80000000u, 0u);
  EXPECT_GE(v & 0xFFu, 5u);
}

// A port with the simulator behind it, named by the test's driver script.
class SerialLine : public testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("KOLVANE_TEST_PORT");
    if (name == nullptr || *name == '\0') GTEST_SKIP() << "KOLVANE_TEST_PORT names no port";
    port = name;
    h = ports.Open(port);
    ASSERT_NE(h, kInvalidPortHandle) << "error " << ports.LastError();
  }
  void TearDown() override {
    if (h != kInvalidPortHandle) ports.Close(h);
  }
  void Configure() {
    Dcb dcb;
    ASSERT_TRUE(ports.GetCommState(h, dcb));
    dcb.baudRate = 19200;
    dcb.byteSize = 8;
    dcb.stopBits = 0;
    dcb.fParity = false;
    ASSERT_TRUE(ports.SetCommState(h, dcb)) << "error " << ports.LastError();
    ASSERT_TRUE(ports.SetCommTimeouts(h, kLink)) << "error " << ports.LastError();
  }
  void SendHello() {
    const std::uint8_t hello[] = {'B', '\r'};
    std::uint32_t written = 0;
    ASSERT_TRUE(ports.Write(h, hello, 2, &written));
    ASSERT_EQ(written, 2u);
  }
  // Reads n bytes; returns the milliseconds it took.
  std::uint64_t TimedRead(std::uint32_t n, std::string* got) {
    std::uint8_t buffer[16] = {};
    std::uint32_t count = 0;
    const std::uint64_t start = clock.NowMs();
    EXPECT_TRUE(ports.Read(h, buffer, n, &count));
    const std::uint64_t took = clock.NowMs() - start;
    got->assign(reinterpret_cast<const char*>(buffer), count);
    return took;
  }

  static constexpr CommTimeouts kLink{100, 0, 1000, 0, 800};
  Win32SerialPorts ports;
  SystemClock clock;
  std::string port;
  PortHandle h = kInvalidPortHandle;
};

TEST_F(SerialLine, TakesTheLinkSettingsAndTimeOuts) {
  Configure();
  Dcb dcb;
  ASSERT_TRUE(ports.GetCommState(h, dcb));
  EXPECT_EQ(dcb.baudRate, 19200u);
  EXPECT_EQ(dcb.byteSize, 8);
  EXPECT_EQ(dcb.stopBits, 0);
  EXPECT_FALSE(dcb.fParity);
  CommTimeouts t;
  ASSERT_TRUE(ports.GetCommTimeouts(h, t));
  EXPECT_EQ(t, kLink);
}

TEST_F(SerialLine, HandshakeReadReturnsAtOnceWithDataAndAfterTheTotalWithout) {
  Configure();
  SendHello();
  std::string got;
  const std::uint64_t withData = TimedRead(2, &got);
  EXPECT_EQ(got, std::string("N\x05", 2));
  EXPECT_LT(withData, 500u);
  const std::uint64_t without = TimedRead(2, &got);
  EXPECT_EQ(got, "");
  EXPECT_GE(without, 900u);
  EXPECT_LT(without, 1600u);
}

TEST_F(SerialLine, ShortReplyEndsTheReadAfterTheInterval) {
  Configure();
  SendHello();
  std::string got;
  // Two bytes of sixteen arrive; the gap after them ends the read long
  // before the total time-out.
  const std::uint64_t took = TimedRead(16, &got);
  EXPECT_EQ(got, std::string("N\x05", 2));
  EXPECT_LT(took, 800u);
}

TEST_F(SerialLine, ClosedHandleIsNoLongerUsable) {
  EXPECT_TRUE(ports.Close(h));
  std::uint8_t byte = 0;
  std::uint32_t count = 99;
  EXPECT_FALSE(ports.Read(h, &byte, 1, &count));
  EXPECT_EQ(ports.LastError(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ports.Close(h));
  h = kInvalidPortHandle;
}

}  // namespace
}  // namespace kolvane::test
