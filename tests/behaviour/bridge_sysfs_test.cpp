// The Linux bridge library and registry on fake sysfs trees, alone and
// through the panel's start-up.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/linux_registry.h"
#include "platform/posix/sysfs_bridge.h"
#include "platform/posix/system_deps.h"
#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

namespace fs = std::filesystem;

struct FakeInterface {
  int number = 0;
  std::optional<int> tty;  // ttyUSB<k> below the interface
  bool bound = true;       // to the cp210x driver
};

struct FakeDevice {
  std::string name;  // as the kernel names it: "1-1", "1-1.4", ...
  std::optional<std::string> vid = "10c4";
  std::optional<std::string> pid = "ea60";
  std::optional<std::string> serial = "0001";
  std::vector<FakeInterface> interfaces{FakeInterface{0, 4}};
};

// A sysfs tree in a temporary directory, laid out as the kernel lays it out.
class FakeSysfs {
 public:
  FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "kolvane-sysfs-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
  }
  ~FakeSysfs() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  const fs::path& Root() const { return root_; }

  // The driver's directory with its own files, no device bound yet.
  void AddDriver() {
    fs::create_directories(Driver());
    for (const char* file : {"bind", "unbind", "new_id", "remove_id", "uevent"}) {
      Write(Driver() / file, "");
    }
  }

  void Add(const FakeDevice& d) {
    AddDriver();
    const fs::path device = root_ / "devices/pci0000:00/0000:00:14.0/usb1" / d.name;
    fs::create_directories(device);
    if (d.vid) Write(device / "idVendor", *d.vid + "\n");
    if (d.pid) Write(device / "idProduct", *d.pid + "\n");
    if (d.serial) Write(device / "serial", *d.serial + "\n");
    for (const FakeInterface& i : d.interfaces) {
      const std::string name = d.name + ":1." + std::to_string(i.number);
      fs::create_directories(device / name);
      if (i.tty)
        fs::create_directories(device / name / ("ttyUSB" + std::to_string(*i.tty)) / "tty");
      if (i.bound) fs::create_symlink(fs::relative(device / name, Driver()), Driver() / name);
    }
  }

 private:
  fs::path Driver() const { return root_ / "bus/usb/drivers/cp210x"; }
  static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

  fs::path root_;
};

// ---- The panel on a tree ----

struct TreeCase {
  const char* name;
  std::vector<FakeDevice> devices;
  bool driverLoaded;
  int port;
  int selected;
};

void PrintTo(const TreeCase& c, std::ostream* os) {
  *os << c.name;
}

class BridgeTrees : public testing::TestWithParam<TreeCase> {};

TEST_P(BridgeTrees, DiscoverThePortAndSelectIt) {
  const TreeCase& c = GetParam();
  FakeSysfs sysfs;
  if (c.driverLoaded) sysfs.AddDriver();
  for (const FakeDevice& d : c.devices) sysfs.Add(d);
  SysfsBridgeLibrary bridge(sysfs.Root());
  LinuxRegistry registry(sysfs.Root());
  const auto version = MakeSystemVersion();
  PanelHarness h(bridge, registry, *version);

  h.Init();
  EXPECT_EQ(h.window.ListGetCurSel(1116), c.selected);
  if (c.selected >= 0) {
    EXPECT_EQ(h.window.Get(1116).entries.at(c.selected), "COM " + std::to_string(c.port));
  }
  EXPECT_EQ(h.panel.DiscoverBridgePort(), c.port);
}

FakeDevice OnTty(std::string name, int tty, std::string serial = "0001") {
  FakeDevice d{std::move(name)};
  d.serial = std::move(serial);
  d.interfaces = {FakeInterface{0, tty}};
  return d;
}

FakeDevice Without(FakeDevice d, std::optional<std::string> FakeDevice::*file) {
  d.*file = std::nullopt;
  return d;
}

// A dual bridge: two interfaces, each with its own port.
FakeDevice Dual(std::string name, bool interface0Bound, std::optional<int> tty0) {
  FakeDevice d{std::move(name)};
  d.pid = "ea70";
  d.interfaces = {FakeInterface{0, tty0, interface0Bound}, FakeInterface{1, 7}};
  return d;
}

INSTANTIATE_TEST_SUITE_P(
    Bridge, BridgeTrees,
    testing::Values(
        TreeCase{"NoDriver", {}, false, -1, -1}, TreeCase{"NoBridge", {}, true, -1, -1},
        TreeCase{"OneOnTtyUSB4", {OnTty("1-1", 4)}, true, 5, 4},
        TreeCase{"OneOnTtyUSB0", {OnTty("3-2.1", 0)}, true, 1, 0},
        TreeCase{"OneOnTtyUSB11", {OnTty("1-1", 11)}, true, 12, -1},
        TreeCase{"SerialWithBlank", {OnTty("1-1", 1, "AB 12")}, true, 2, 1},
        TreeCase{"SerialWithCommaAndNonAscii", {OnTty("1-1", 2, "Zähler,1")}, true, 3, 2},
        TreeCase{"SerialOf70", {OnTty("1-1", 6, std::string(70, 'S'))}, true, 7, 6},
        TreeCase{"EmptySerial", {OnTty("1-1", 3, "")}, true, 4, 3},
        // Device 0 is the one with the first device path, whatever the ports.
        TreeCase{"TwoBridges", {OnTty("1-2", 0, "B"), OnTty("1-1", 3, "A")}, true, 4, 3},
        TreeCase{"TwoBridgesOnAHub",
                 {OnTty("2-1", 5, "C"), OnTty("1-4.2", 1, "B"), OnTty("1-4.1", 8, "A")},
                 true,
                 9,
                 8},
        TreeCase{"DualBridge", {Dual("1-1", true, 2)}, true, 3, 2},
        TreeCase{"DualBridgeWithoutInterface0", {Dual("1-1", false, 2)}, true, -1, -1},
        TreeCase{"Interface0WithoutPort", {Dual("1-1", true, std::nullopt)}, true, -1, -1},
        TreeCase{"NoVendorId", {Without(OnTty("1-1", 4), &FakeDevice::vid)}, true, -1, -1},
        TreeCase{"NoSerial", {Without(OnTty("1-1", 4), &FakeDevice::serial)}, true, -1, -1}),
    [](const testing::TestParamInfo<TreeCase>& info) { return info.param.name; });

// ---- The bridge library ----

TEST(SysfsBridgeLibrary, CountsDevicesNotInterfaces) {
  FakeSysfs sysfs;
  sysfs.Add(Dual("1-2", true, 0));
  sysfs.Add(OnTty("1-1", 3));
  SysfsBridgeLibrary bridge(sysfs.Root());
  std::uint32_t count = 99;
  EXPECT_EQ(bridge.GetNumDevices(&count), kBridgeOk);
  EXPECT_EQ(count, 2u);

  BridgeHandle first = 0, second = 0;
  std::uint16_t pid = 0;
  ASSERT_EQ(bridge.Open(0, &first), kBridgeOk);
  ASSERT_EQ(bridge.Open(1, &second), kBridgeOk);
  EXPECT_EQ(bridge.GetDevicePid(first, &pid), kBridgeOk);
  EXPECT_EQ(pid, 0xEA60);
  EXPECT_EQ(bridge.GetDevicePid(second, &pid), kBridgeOk);
  EXPECT_EQ(pid, 0xEA70);
  BridgeHandle none = 0;
  EXPECT_EQ(bridge.Open(2, &none), kBridgeDeviceNotFound);
}

TEST(SysfsBridgeLibrary, HandlesLiveFromOpenToClose) {
  FakeSysfs sysfs;
  sysfs.Add(OnTty("1-1", 0));
  SysfsBridgeLibrary bridge(sysfs.Root());
  BridgeHandle h = 0;
  ASSERT_EQ(bridge.Open(0, &h), kBridgeOk);
  std::uint16_t vid = 0;
  EXPECT_EQ(bridge.GetDeviceVid(h, &vid), kBridgeOk);
  EXPECT_EQ(vid, 0x10C4);
  EXPECT_EQ(bridge.Close(h), kBridgeOk);
  EXPECT_EQ(bridge.GetDeviceVid(h, &vid), kBridgeInvalidHandle);
  EXPECT_EQ(bridge.Close(h), kBridgeInvalidHandle);
}

TEST(SysfsBridgeLibrary, UnpluggedAfterOpenFailsTheReads) {
  FakeSysfs sysfs;
  sysfs.Add(OnTty("1-1", 0));
  SysfsBridgeLibrary bridge(sysfs.Root());
  BridgeHandle h = 0;
  ASSERT_EQ(bridge.Open(0, &h), kBridgeOk);
  fs::remove_all(sysfs.Root() / "devices");
  std::uint16_t vid = 0;
  char serial[64];
  std::uint8_t length = 0;
  EXPECT_EQ(bridge.GetDeviceVid(h, &vid), kBridgeDeviceIoFailed);
  EXPECT_EQ(bridge.GetDeviceSerialNumber(h, serial, &length, true), kBridgeDeviceIoFailed);
  EXPECT_EQ(bridge.Close(h), kBridgeOk);
}

struct IdCase {
  const char* text;
  std::optional<std::uint16_t> id;
};

void PrintTo(const IdCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

class UsbIds : public testing::TestWithParam<IdCase> {};

TEST_P(UsbIds, AreFourHexDigits) {
  FakeSysfs sysfs;
  FakeDevice d = OnTty("1-1", 0);
  d.vid = GetParam().text;
  sysfs.Add(d);
  SysfsBridgeLibrary bridge(sysfs.Root());
  BridgeHandle h = 0;
  ASSERT_EQ(bridge.Open(0, &h), kBridgeOk);
  std::uint16_t vid = 0;
  const int status = bridge.GetDeviceVid(h, &vid);
  EXPECT_EQ(status, GetParam().id ? kBridgeOk : kBridgeDeviceIoFailed);
  if (GetParam().id) {
    EXPECT_EQ(vid, *GetParam().id);
  }
}

INSTANTIATE_TEST_SUITE_P(Bridge, UsbIds,
                         testing::Values(IdCase{"10c4", 0x10C4}, IdCase{"0403", 0x0403},
                                         IdCase{"FFFF", 0xFFFF}, IdCase{"", {}},
                                         IdCase{"10c45", {}}, IdCase{"10g4", {}},
                                         IdCase{" 10c", {}}, IdCase{"-1", {}}));

struct SerialCase {
  std::string sysfs;
  std::string reported;
};

void PrintTo(const SerialCase& c, std::ostream* os) {
  *os << '"' << c.sysfs << '"';
}

class BridgeSerials : public testing::TestWithParam<SerialCase> {};

TEST_P(BridgeSerials, AreSingleByteAndAtMost63) {
  FakeSysfs sysfs;
  sysfs.Add(OnTty("1-1", 0, GetParam().sysfs));
  SysfsBridgeLibrary bridge(sysfs.Root());
  BridgeHandle h = 0;
  ASSERT_EQ(bridge.Open(0, &h), kBridgeOk);
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  std::uint8_t length = 0;
  ASSERT_EQ(bridge.GetDeviceSerialNumber(h, buffer, &length, true), kBridgeOk);
  EXPECT_EQ(std::string(buffer, length), GetParam().reported);
  EXPECT_EQ(buffer[length], '\0');
  EXPECT_EQ(bridge.GetDeviceSerialNumber(h, buffer, &length, false), kBridgeInvalidParameter);
}

INSTANTIATE_TEST_SUITE_P(Bridge, BridgeSerials,
                         testing::Values(SerialCase{"0001", "0001"}, SerialCase{"AB 12", "AB 12"},
                                         SerialCase{"", ""}, SerialCase{"Zähler №7", "Z?hler ?7"},
                                         SerialCase{std::string(63, 'a'), std::string(63, 'a')},
                                         SerialCase{std::string(64, 'b'), std::string(63, 'b')},
                                         SerialCase{std::string(62, 'c') + "éé",
                                                    std::string(62, 'c') + "?"}));

// ---- The registry ----

constexpr const char* kParameters = "Vid_10c4&Pid_ea60&Mi_00\\AB_12_00\\Device Parameters\\";

struct KeyCase {
  std::string subKey;  // below HKLM, opened with RegOpenKey
  long status;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
  *os << c.subKey;
}

class RegistryKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(RegistryKeys, ExistForPresentBridgesOnly) {
  FakeSysfs sysfs;
  sysfs.Add(OnTty("1-1", 4, "AB 12"));
  LinuxRegistry registry(sysfs.Root());
  RegKey key = 0;
  EXPECT_EQ(registry.OpenKey(kHKeyLocalMachine, GetParam().subKey, &key), GetParam().status);
  if (GetParam().status == kRegSuccess) {
    EXPECT_EQ(registry.CloseKey(key), kRegSuccess);
  }
}

const std::string kUsb = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";

INSTANTIATE_TEST_SUITE_P(
    Bridge, RegistryKeys,
    testing::Values(KeyCase{"SYSTEM", kRegSuccess},
                    KeyCase{"SYSTEM\\CurrentControlSet\\", kRegSuccess},
                    KeyCase{"system\\currentcontrolset\\enum\\usb", kRegSuccess},
                    KeyCase{"SOFTWARE\\", kRegFileNotFound},
                    KeyCase{"SYSTEM\\\\CurrentControlSet", kRegFileNotFound},
                    KeyCase{"\\SYSTEM", kRegFileNotFound}, KeyCase{kUsb + kParameters, kRegSuccess},
                    KeyCase{kUsb + "VID_10C4&PID_EA60&MI_00\\ab_12_00\\DEVICE PARAMETERS",
                            kRegSuccess},
                    KeyCase{kUsb + "Vid_10c4&Pid_ea60&Mi_00\\AB_12_00", kRegSuccess},
                    KeyCase{kUsb + "Vid_10c4&Pid_ea60&Mi_00\\AB 12_00", kRegFileNotFound},
                    KeyCase{kUsb + "Vid_10c4&Pid_ea60&Mi_01\\AB_12_00", kRegFileNotFound},
                    KeyCase{kUsb + "Vid_10c4&Pid_ea61&Mi_00", kRegFileNotFound},
                    KeyCase{kUsb + kParameters + "More", kRegFileNotFound}));

TEST(LinuxRegistry, IsReadOnly) {
  FakeSysfs sysfs;
  LinuxRegistry registry(sysfs.Root());
  RegKey key = 0;
  EXPECT_EQ(
      registry.OpenKeyEx(kHKeyLocalMachine, "SYSTEM\\CurrentControlSet\\", kKeyAllAccess, &key),
      kRegAccessDenied);
  EXPECT_EQ(registry.OpenKeyEx(kHKeyLocalMachine, "SYSTEM\\CurrentControlSet\\", kKeyRead, &key),
            kRegSuccess);
  EXPECT_EQ(registry.CloseKey(key), kRegSuccess);
  EXPECT_EQ(registry.OpenKeyEx(kHKeyLocalMachine, "SOFTWARE", kKeyAllAccess, &key),
            kRegFileNotFound);
}

TEST(LinuxRegistry, OpensBelowAnOpenKeyOnly) {
  FakeSysfs sysfs;
  sysfs.Add(OnTty("1-1", 4, "AB 12"));
  LinuxRegistry registry(sysfs.Root());
  RegKey system = 0, usb = 0, parameters = 0;
  ASSERT_EQ(registry.OpenKeyEx(kHKeyLocalMachine, "SYSTEM\\CurrentControlSet\\", kKeyRead, &system),
            kRegSuccess);
  ASSERT_EQ(registry.OpenKey(system, "Enum\\USB\\", &usb), kRegSuccess);
  ASSERT_EQ(registry.OpenKey(usb, kParameters, &parameters), kRegSuccess);
  EXPECT_EQ(registry.OpenKey(system, kParameters, &parameters), kRegFileNotFound);
  EXPECT_EQ(registry.CloseKey(usb), kRegSuccess);
  EXPECT_EQ(registry.OpenKey(usb, kParameters, &parameters), kRegInvalidHandle);
  EXPECT_EQ(registry.CloseKey(usb), kRegInvalidHandle);
}

struct QueryCase {
  const char* name;
  std::uint32_t size;
  long status;
  std::uint32_t sizeAfter;
  std::string data;  // the bytes written
};

void PrintTo(const QueryCase& c, std::ostream* os) {
  *os << c.name << ", size " << c.size;
}

class PortNameQueries : public testing::TestWithParam<QueryCase> {};

TEST_P(PortNameQueries, AnswerAsWin32Does) {
  FakeSysfs sysfs;
  sysfs.Add(OnTty("1-1", 11, "AB 12"));
  LinuxRegistry registry(sysfs.Root());
  RegKey key = 0;
  ASSERT_EQ(registry.OpenKey(kHKeyLocalMachine, kUsb + kParameters, &key), kRegSuccess);
  std::uint8_t data[16] = {};
  std::uint32_t type = 0;
  std::uint32_t size = GetParam().size;
  EXPECT_EQ(registry.QueryValueEx(key, GetParam().name, &type, data, &size), GetParam().status);
  EXPECT_EQ(size, GetParam().sizeAfter);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), GetParam().data.size()), GetParam().data);
  if (GetParam().status == kRegSuccess) {
    EXPECT_EQ(type, kRegSz);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bridge, PortNameQueries,
    testing::Values(QueryCase{"PortName", 16, kRegSuccess, 6, std::string("COM12") + '\0'},
                    QueryCase{"portname", 6, kRegSuccess, 6, std::string("COM12") + '\0'},
                    QueryCase{"PortName", 5, kRegMoreData, 6, ""},
                    QueryCase{"PortNames", 16, kRegFileNotFound, 16, ""},
                    QueryCase{"", 16, kRegFileNotFound, 16, ""}));

TEST(LinuxRegistry, PortNameOnlyWhereInterface0HasAPort) {
  FakeSysfs sysfs;
  sysfs.Add(Dual("1-1", true, std::nullopt));
  LinuxRegistry registry(sysfs.Root());
  RegKey usb = 0, parameters = 0;
  ASSERT_EQ(registry.OpenKey(kHKeyLocalMachine, kUsb, &usb), kRegSuccess);
  ASSERT_EQ(
      registry.OpenKey(usb, "Vid_10c4&Pid_ea70&Mi_00\\0001_00\\Device Parameters", &parameters),
      kRegSuccess);
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValueEx(parameters, "PortName", nullptr, nullptr, &size),
            kRegFileNotFound);
  EXPECT_EQ(registry.QueryValueEx(usb, "PortName", nullptr, nullptr, &size), kRegFileNotFound);
}

}  // namespace
}  // namespace kolvane::test
