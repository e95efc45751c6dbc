// The bridge DLL loaded at run time and the registry, on Wine's own loader
// and registry: an absent or incomplete DLL, the calls through the vendor's
// ordinals, and discovery end to end against keys written for the test.
// The panel's headers come before the Win32 ones: the window seam declares
// names that <windows.h> makes macros.
// clang-format off
#include "tests/support/panel_harness.h"
#include <gtest/gtest.h>
#include <windows.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32/bridge_dll.h"
#include "platform/win32/system_deps.h"
#include "platform/win32/win32_registry.h"
#include "tests/win32/fake_bridge.h"

namespace kolvane::test {
namespace {

// A folder next to this test program.
std::string BesideProgram(const char* folder) {
  char path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, n);
  return dir.substr(0, dir.find_last_of("\\/") + 1) + folder;
}

// Makes the DLL in `folder` the one found by its plain name.
class DllFolder {
 public:
  explicit DllFolder(const char* folder) { ::SetDllDirectoryA(BesideProgram(folder).c_str()); }
  ~DllFolder() { ::SetDllDirectoryA(nullptr); }
  DllFolder(const DllFolder&) = delete;
  DllFolder& operator=(const DllFolder&) = delete;
};

template <typename Fn>
Fn FakeEntry(const char* name) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
  return reinterpret_cast<Fn>(::GetProcAddress(::GetModuleHandleA(kBridgeDllName), name));
#pragma GCC diagnostic pop
}

void SetUpFake(const FakeBridgeSetup& setup) {
  const auto fn = FakeEntry<FakeBridgeSetupFn>("FakeBridgeSetUp");
  ASSERT_NE(fn, nullptr);
  fn(&setup);
}

std::string FakeCalls() {
  const auto fn = FakeEntry<FakeBridgeCallsFn>("FakeBridgeCalls");
  if (fn == nullptr) return "(fake not loaded)";
  char buffer[512];
  fn(buffer, sizeof buffer);
  return buffer;
}

// Each test has a product id of its own, so that the tests that run at the
// same time never share a registry key.
FakeBridgeSetup Device(const char* serial, std::uint16_t pid, std::uint32_t count = 1) {
  FakeBridgeSetup s{};
  s.count = count;
  s.vid = 0x10C4;
  s.pid = pid;
  std::strncpy(s.serial, serial, sizeof s.serial - 1);
  s.serialLength = static_cast<std::uint8_t>(std::strlen(serial));
  return s;
}

TEST(BridgeDll, AbsentLibraryReportsNoDevicesAndDiscoveryGivesMinusOne) {
  Win32BridgeLibrary bridge;
  EXPECT_FALSE(bridge.Loaded());
  std::uint32_t count = 7;
  EXPECT_NE(bridge.GetNumDevices(&count), kBridgeOk);
  EXPECT_EQ(count, 0u);
  BridgeHandle handle = 7;
  EXPECT_NE(bridge.Open(0, &handle), kBridgeOk);
  std::uint16_t id = 0;
  EXPECT_NE(bridge.GetDeviceVid(handle, &id), kBridgeOk);
  EXPECT_NE(bridge.GetDevicePid(handle, &id), kBridgeOk);
  char serial[64] = {};
  std::uint8_t length = 0;
  EXPECT_NE(bridge.GetDeviceSerialNumber(handle, serial, &length, true), kBridgeOk);
  EXPECT_NE(bridge.Close(handle), kBridgeOk);

  Win32Registry registry;
  Win32SystemVersion version;
  PanelHarness h(bridge, registry, version);
  EXPECT_EQ(h.panel.DiscoverBridgePort(), -1);
}

TEST(BridgeDll, LibraryWithoutEveryEntryCountsAsAbsent) {
  DllFolder folder("partial-bridge");
  ASSERT_NE(::LoadLibraryA(kBridgeDllName), nullptr) << "the test's partial DLL is missing";
  ::FreeLibrary(::GetModuleHandleA(kBridgeDllName));
  Win32BridgeLibrary bridge;
  EXPECT_FALSE(bridge.Loaded());
  std::uint32_t count = 7;
  bridge.GetNumDevices(&count);
  EXPECT_EQ(count, 0u);
}

TEST(BridgeDll, CallsReachTheOrdinalsWithTheirArguments) {
  DllFolder folder("bridge");
  Win32BridgeLibrary bridge;
  ASSERT_TRUE(bridge.Loaded());
  SetUpFake(Device("AB 12", 0xEA60, 2));

  std::uint32_t count = 0;
  EXPECT_EQ(bridge.GetNumDevices(&count), kBridgeOk);
  EXPECT_EQ(count, 2u);
  BridgeHandle handle = 0;
  EXPECT_EQ(bridge.Open(0, &handle), kBridgeOk);
  EXPECT_EQ(handle, kFakeBridgeDevice);
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  EXPECT_EQ(bridge.GetDeviceVid(handle, &vid), kBridgeOk);
  EXPECT_EQ(bridge.GetDevicePid(handle, &pid), kBridgeOk);
  EXPECT_EQ(vid, 0x10C4);
  EXPECT_EQ(pid, 0xEA60);
  char serial[64] = {};
  std::uint8_t length = 0;
  EXPECT_EQ(bridge.GetDeviceSerialNumber(handle, serial, &length, true), kBridgeOk);
  EXPECT_EQ(std::string(serial, length), "AB 12");
  EXPECT_EQ(bridge.Close(handle), kBridgeOk);
  EXPECT_EQ(FakeCalls(), "count\nopen 0\nvid\npid\nserial ascii\nclose\n");
}

TEST(BridgeDll, UnloadsWithTheLibraryObject) {
  DllFolder folder("bridge");
  {
    Win32BridgeLibrary bridge;
    ASSERT_TRUE(bridge.Loaded());
    EXPECT_NE(::GetModuleHandleA(kBridgeDllName), nullptr);
  }
  EXPECT_EQ(::GetModuleHandleA(kBridgeDllName), nullptr);
}

// The registry keys a bridge's driver leaves, written for one test.
class BridgeKeys {
 public:
  explicit BridgeKeys(std::uint16_t pid) {
    char path[96];
    std::snprintf(path, sizeof path,
                  "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_%04x&Mi_00", unsigned{pid});
    usbKey_ = path;
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, usbKey_.c_str());
  }
  ~BridgeKeys() { ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, usbKey_.c_str()); }
  BridgeKeys(const BridgeKeys&) = delete;
  BridgeKeys& operator=(const BridgeKeys&) = delete;

  // Stores "PortName" for a serial as the key names it; withZero: stored
  // with its terminating zero.
  void Add(const std::string& keySerial, const std::string& portName, bool withZero) {
    const std::string path = usbKey_ + "\\" + keySerial + "_00\\Device Parameters";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const auto size = static_cast<DWORD>(portName.size() + (withZero ? 1 : 0));
    EXPECT_EQ(::RegSetValueExA(key, "PortName", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(portName.c_str()), size),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }

 private:
  std::string usbKey_;
};

struct DiscoveryCase {
  const char* name;
  FakeBridgeSetup device;
  const char* keySerial;  // nullptr: no key for the bridge
  const char* portName;
  bool withZero;
  int port;
  const char* calls;
};

void PrintTo(const DiscoveryCase& c, std::ostream* os) {
  *os << c.name;
}

FakeBridgeSetup OpenFails() {
  FakeBridgeSetup s = Device("0001", 0xEA69);
  s.openStatus = kBridgeDeviceNotFound;
  return s;
}

constexpr const char* kAllCalls = "count\nopen 0\nvid\npid\nserial ascii\nclose\n";

const DiscoveryCase kDiscoveryCases[] = {
    {"port5", Device("0001", 0xEA61), "0001", "COM5", true, 5, kAllCalls},
    {"blank_in_serial", Device("AB 12", 0xEA62), "AB_12", "COM5", true, 5, kAllCalls},
    {"two_digit_port", Device("0001", 0xEA63), "0001", "COM12", true, 12, kAllCalls},
    {"value_without_zero", Device("0001", 0xEA64), "0001", "COM7", false, 7, kAllCalls},
    {"no_key_for_serial", Device("0001", 0xEA65), "0002", "COM5", true, -1, kAllCalls},
    {"no_keys", Device("0001", 0xEA66), nullptr, "", true, -1, kAllCalls},
    {"not_a_port_name", Device("0001", 0xEA67), "0001", "LPT1", true, -1, kAllCalls},
    {"no_device", Device("0001", 0xEA68, 0), "0001", "COM5", true, -1, "count\n"},
    {"open_fails", OpenFails(), "0001", "COM5", true, -1, "count\nopen 0\n"},
};

class Discovery : public testing::TestWithParam<DiscoveryCase> {};

TEST_P(Discovery, FindsThePortThroughTheDllAndTheRegistry) {
  const DiscoveryCase& c = GetParam();
  BridgeKeys keys(c.device.pid);
  if (c.keySerial != nullptr) keys.Add(c.keySerial, c.portName, c.withZero);
  DllFolder folder("bridge");
  const auto bridge = MakeBridgeLibrary();
  SetUpFake(c.device);
  const auto registry = MakeRegistry();
  const auto version = MakeSystemVersion();
  PanelHarness h(*bridge, *registry, *version);
  EXPECT_EQ(h.panel.DiscoverBridgePort(), c.port);
  EXPECT_EQ(FakeCalls(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(Wine, Discovery, testing::ValuesIn(kDiscoveryCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Registry, KeyOpenedForReadingRefusesWrites) {
  Win32Registry registry;
  RegKey key = 0;
  ASSERT_EQ(registry.OpenKeyEx(kHKeyLocalMachine, "SYSTEM\\CurrentControlSet\\", kKeyRead, &key),
            kRegSuccess);
  ASSERT_NE(key, 0);
  const BYTE probe[] = "x";
  EXPECT_EQ(
      ::RegSetValueExA(reinterpret_cast<HKEY>(key), "KolvaneProbe", 0, REG_SZ, probe, sizeof probe),
      ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry.CloseKey(key), kRegSuccess);
}

TEST(Registry, MissingKeysAndValuesAndShortBuffers) {
  BridgeKeys keys(0xEA70);
  keys.Add("0001", "COM5", true);
  Win32Registry registry;
  RegKey missing = 99;
  EXPECT_EQ(registry.OpenKeyEx(kHKeyLocalMachine, "SYSTEM\\NoSuchKey\\", kKeyRead, &missing),
            kRegFileNotFound);
  EXPECT_EQ(missing, 0);

  RegKey system = 0;
  RegKey parameters = 0;
  ASSERT_EQ(registry.OpenKeyEx(kHKeyLocalMachine, "SYSTEM\\CurrentControlSet\\", kKeyRead, &system),
            kRegSuccess);
  ASSERT_EQ(
      registry.OpenKey(system, "Enum\\USB\\Vid_10c4&Pid_ea70&Mi_00\\0001_00\\Device Parameters\\",
                       &parameters),
      kRegSuccess);
  std::uint8_t data[8] = {};
  std::uint32_t type = 0;
  std::uint32_t size = 2;
  EXPECT_EQ(registry.QueryValueEx(parameters, "PortName", &type, data, &size), kRegMoreData);
  EXPECT_EQ(size, 5u);  // "COM5" and its zero
  size = sizeof data;
  EXPECT_EQ(registry.QueryValueEx(parameters, "PortName", &type, data, &size), kRegSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 5u);
  EXPECT_STREQ(reinterpret_cast<const char*>(data), "COM5");
  size = sizeof data;
  EXPECT_EQ(registry.QueryValueEx(parameters, "NoSuchValue", &type, data, &size), kRegFileNotFound);
  EXPECT_EQ(registry.CloseKey(parameters), kRegSuccess);
  EXPECT_EQ(registry.CloseKey(system), kRegSuccess);
  // The predefined key is not ours to close.
  EXPECT_EQ(registry.CloseKey(kHKeyLocalMachine), kRegSuccess);
}

}  // namespace
}  // namespace kolvane::test
