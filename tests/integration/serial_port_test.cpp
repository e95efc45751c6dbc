// The termios port against kolvane-sim on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/posix/posix_serial.h"
#include "tests/integration/sim_process.h"

namespace kolvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr CommTimeouts kLinkTimeouts{100, 0, 1000, 0, 800};

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// An open, configured link to a simulator.
struct Link {
  explicit Link(std::vector<std::string> simArgs = {}) : sim(std::move(simArgs)) {
    if (!sim.Ready()) return;
    h = ports.Open("COM1:");
    if (h != kInvalidPortHandle) ports.SetCommTimeouts(h, kLinkTimeouts);
  }
  bool Send(const std::string& frame) {
    std::uint32_t written = 0;
    return ports.Write(h, reinterpret_cast<const std::uint8_t*>(frame.data()),
                       static_cast<std::uint32_t>(frame.size()), &written) &&
           written == frame.size();
  }
  Bytes Read(std::uint32_t n) {
    Bytes buf(n);
    std::uint32_t got = 0;
    ports.Read(h, buf.data(), n, &got);
    buf.resize(got);
    return buf;
  }

  SimProcess sim;
  PosixSerialPorts ports;
  PortHandle h = kInvalidPortHandle;
};

TEST(SerialPort, OpensThroughKolvanePortsAt19200EightNoneOne) {
  Link link;
  ASSERT_TRUE(link.sim.Ready());
  ASSERT_NE(link.h, kInvalidPortHandle);
  EXPECT_GE(link.h, 1);
  Dcb dcb;
  ASSERT_TRUE(link.ports.GetCommState(link.h, dcb));
  EXPECT_EQ(dcb.baudRate, 19200u);
  EXPECT_EQ(dcb.byteSize, 8);
  EXPECT_EQ(dcb.stopBits, 0);
  EXPECT_EQ(dcb.parity, 0);
  EXPECT_FALSE(dcb.fParity);
}

TEST(SerialPort, CommStateRoundTrips) {
  Link link;
  ASSERT_NE(link.h, kInvalidPortHandle);
  const Dcb cases[] = {
      {9600, 8, 0, 2, true},     // two stop bits, parity checking on
      {115200, 8, 0, 1, false},  // one and a half stop bits read back as two
      {19200, 8, 0, 0, false},
  };
  for (const Dcb& want : cases) {
    ASSERT_TRUE(link.ports.SetCommState(link.h, want)) << want.baudRate;
    Dcb got;
    ASSERT_TRUE(link.ports.GetCommState(link.h, got));
    EXPECT_EQ(got.baudRate, want.baudRate);
    EXPECT_EQ(got.byteSize, want.byteSize);
    EXPECT_EQ(got.parity, want.parity);
    EXPECT_EQ(got.stopBits, want.stopBits == 0 ? 0 : 2);
    EXPECT_EQ(got.fParity, want.fParity);
  }
}

TEST(SerialPort, CommStateTheLineCannotTakeIsRefused) {
  Link link;
  ASSERT_NE(link.h, kInvalidPortHandle);
  // Out of range everywhere, and on a pseudo-terminal, which keeps eight
  // bits without parity, any other frame too.
  const Dcb cases[] = {
      {12345, 8, 0, 0, false}, {19200, 9, 0, 0, false}, {19200, 8, 5, 0, false},
      {19200, 8, 0, 3, false}, {19200, 7, 0, 0, false}, {19200, 8, 2, 0, false},
  };
  for (const Dcb& bad : cases) {
    EXPECT_FALSE(link.ports.SetCommState(link.h, bad)) << int(bad.byteSize) << int(bad.parity);
    EXPECT_EQ(link.ports.LastError(), static_cast<std::uint32_t>(EINVAL));
    Dcb got;
    ASSERT_TRUE(link.ports.GetCommState(link.h, got));
    EXPECT_EQ(got.baudRate, 19200u) << "left as it was";
    EXPECT_EQ(got.byteSize, 8);
    EXPECT_EQ(got.parity, 0);
  }
}

TEST(SerialPort, TimeoutsAreKeptAsSet) {
  Link link;
  ASSERT_NE(link.h, kInvalidPortHandle);
  CommTimeouts t;
  ASSERT_TRUE(link.ports.GetCommTimeouts(link.h, t));
  EXPECT_EQ(t, kLinkTimeouts);
  ASSERT_TRUE(link.ports.SetCommTimeouts(link.h, {1, 2, 3, 4, 5}));
  ASSERT_TRUE(link.ports.GetCommTimeouts(link.h, t));
  EXPECT_EQ(t, (CommTimeouts{1, 2, 3, 4, 5}));
}

TEST(SerialPort, HandshakeGivesTheSerialNumber) {
  Link link({"--serial", "7"});
  ASSERT_NE(link.h, kInvalidPortHandle);
  ASSERT_TRUE(link.Send("B\r"));
  EXPECT_EQ(link.Read(2), (Bytes{'N', 7}));
}

TEST(SerialPort, PanelStateAndSetupFrames) {
  Link link({"--state", "0,1,0,0,1,0,0,1,0,1,0,1,64,127,1", "--rate", "0"});
  ASSERT_NE(link.h, kInvalidPortHandle);
  ASSERT_TRUE(link.Send("D1\r"));
  EXPECT_EQ(link.Read(1), Bytes{'C'});
  EXPECT_EQ(link.Read(15), (Bytes{0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 1, 64, 127, 1}));

  ASSERT_TRUE(link.Send("M3\r"));
  EXPECT_EQ(link.Read(1), Bytes{'\r'});
  ASSERT_TRUE(link.Send("L\r\r"));  // a level position of 13
  EXPECT_EQ(link.Read(1), Bytes{'\r'});
  ASSERT_TRUE(link.Send("D1\r"));
  const Bytes state = link.Read(16);
  ASSERT_EQ(state.size(), 16u);
  EXPECT_EQ(state[2], 2);    // time stamp
  EXPECT_EQ(state[13], 13);  // level
}

TEST(SerialPort, ResultsFlowAfterTheHandshake) {
  Link link;  // frequency, 0.1 s gate, 10 results per second
  ASSERT_NE(link.h, kInvalidPortHandle);
  ASSERT_TRUE(link.Send("B\r"));
  ASSERT_EQ(link.Read(2).size(), 2u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(link.Read(1), Bytes{'G'});
    const Bytes n = link.Read(4);
    ASSERT_EQ(n.size(), 4u);
    const std::uint32_t count = std::uint32_t{n[0]} << 24 | n[1] << 16 | n[2] << 8 | n[3];
    EXPECT_NEAR(count, 1234.5, 1.0);  // 12.345678 kHz in 0.1 s
  }
}

TEST(SerialPort, ClosingFrameAsTheSimulatorSawIt) {
  Link link;
  ASSERT_NE(link.h, kInvalidPortHandle);
  ASSERT_TRUE(link.Send("J\r"));
  ASSERT_TRUE(link.ports.Close(link.h));
  ASSERT_TRUE(link.sim.WaitForLog(" J\\x0D"));
  const std::regex line(R"(RX \d+\.\d{3} J\\x0D)");
  int matches = 0;
  for (const std::string& l : link.sim.Log()) matches += std::regex_match(l, line) ? 1 : 0;
  EXPECT_EQ(matches, 1);
}

TEST(SerialPort, ReadTimeouts) {
  struct Case {
    const char* name;
    bool handshake;  // "B" CR first, so that two bytes arrive
    std::uint32_t asked;
    std::uint32_t got;
    double ms;
  };
  const Case cases[] = {
      {"silence", false, 1, 0, 1000},
      {"bytes then silence", true, 5, 2, 100},
      {"all bytes", true, 2, 2, 0},
  };
  for (const Case& c : cases) {
    Link link({"--rate", "0"});
    ASSERT_NE(link.h, kInvalidPortHandle);
    if (c.handshake) {
      ASSERT_TRUE(link.Send("B\r"));
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.Read(c.asked).size(), c.got) << c.name;
    EXPECT_NEAR(MsSince(start), c.ms, 30) << c.name;
  }
}

TEST(SerialPort, SecondOpenOfAHeldPortFailsAtOnce) {
  Link link;
  ASSERT_NE(link.h, kInvalidPortHandle);
  PosixSerialPorts other;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(other.Open("COM1:"), kInvalidPortHandle);
  EXPECT_LT(MsSince(start), 50);
  EXPECT_EQ(other.LastError(), static_cast<std::uint32_t>(EBUSY));
  EXPECT_EQ(link.ports.Open("com1:"), kInvalidPortHandle) << "not even from the same owner";

  ASSERT_TRUE(link.ports.Close(link.h));
  const PortHandle again = other.Open("COM1:");
  EXPECT_NE(again, kInvalidPortHandle) << "free again once closed";
}

TEST(SerialPort, MissingOrMisnamedPortFailsAtOnce) {
  SimProcess sim;  // on com1 only
  ASSERT_TRUE(sim.Ready());
  PosixSerialPorts ports;
  for (const char* name : {"COM2:", "COM9:", "COM0:", "COM1", "LPT1:", "COM1:x", "COM01:", ""}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ports.Open(name), kInvalidPortHandle) << name;
    EXPECT_LT(MsSince(start), 50) << name;
    EXPECT_EQ(ports.LastError(), static_cast<std::uint32_t>(ENOENT)) << name;
  }
}

TEST(SerialPort, HandlesAreOpaqueAndNeverReused) {
  Link link;
  ASSERT_NE(link.h, kInvalidPortHandle);
  const PortHandle first = link.h;
  ASSERT_TRUE(link.ports.Close(first));
  const PortHandle second = link.ports.Open("COM1:");
  ASSERT_NE(second, kInvalidPortHandle);
  EXPECT_NE(second, first);

  std::uint8_t buf[4] = {};
  std::uint32_t n = 99;
  CommTimeouts t;
  Dcb dcb;
  for (PortHandle stale : {first, PortHandle{0}, PortHandle{-1}, second + 1}) {
    EXPECT_FALSE(link.ports.Read(stale, buf, 1, &n));
    EXPECT_EQ(n, 0u);
    n = 99;
    EXPECT_FALSE(link.ports.Write(stale, buf, 1, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(link.ports.GetCommState(stale, dcb));
    EXPECT_FALSE(link.ports.SetCommTimeouts(stale, t));
    EXPECT_FALSE(link.ports.Close(stale));
    EXPECT_EQ(link.ports.LastError(), static_cast<std::uint32_t>(EBADF));
  }
}

TEST(SerialPort, HungUpLineDoesNotWaitOrSpin) {
  Link link({"--fault", "drop-after:1", "--rate", "0"});
  ASSERT_NE(link.h, kInvalidPortHandle);
  ASSERT_TRUE(link.Send("B\r"));
  ASSERT_TRUE(link.sim.WaitForLog("DROP"));
  auto start = std::chrono::steady_clock::now();
  link.Read(5);
  EXPECT_LT(MsSince(start), 50) << "a hung-up line has nothing more to give";
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(link.Read(1).empty());
  EXPECT_LT(MsSince(start), 50);
  EXPECT_EQ(link.ports.LastError(), static_cast<std::uint32_t>(EIO));
  EXPECT_FALSE(link.Send("M1\r"));
}

TEST(SerialPort, FaultsArriveThroughTheControlFifo) {
  char fifo[] = "/tmp/kolvane-ctl-XXXXXX";
  ASSERT_NE(mkdtemp(fifo), nullptr);
  const std::string path = std::string(fifo) + "/ctl";
  Link link({"--control", path, "--rate", "0"});
  ASSERT_NE(link.h, kInvalidPortHandle);
  ASSERT_TRUE(link.Send("M1\r"));
  EXPECT_EQ(link.Read(1), Bytes{'\r'});
  std::ofstream(path) << "badack:M1:41\n";
  ASSERT_TRUE(link.sim.WaitForLog("CTL"));
  ASSERT_TRUE(link.Send("M1\r"));
  EXPECT_EQ(link.Read(1), Bytes{'A'});
  link.sim.Stop();
  std::filesystem::remove_all(fifo);
}

}  // namespace
}  // namespace kolvane::test
