// Discovery against a scripted bridge library and registry: calling order,
// failure paths, the port value's parsing and the list selection.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "resources/format.h"
#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

constexpr BridgeHandle kDevice = 77;

struct ScriptedBridge : IBridgeLibrary {
  std::uint32_t count = 1;
  int countStatus = kBridgeOk;
  int openStatus = kBridgeOk;
  int vidStatus = kBridgeOk;
  int pidStatus = kBridgeOk;
  int serialStatus = kBridgeOk;
  std::uint16_t vid = 0x10C4;
  std::uint16_t pid = 0xEA60;
  std::string serial = "0001";
  std::vector<std::string> log;

  int GetNumDevices(std::uint32_t* n) override {
    log.push_back("count");
    *n = count;
    return countStatus;
  }
  int Open(std::uint32_t index, BridgeHandle* handle) override {
    log.push_back(Format("open %u", index));
    *handle = openStatus == kBridgeOk ? kDevice : 0;
    return openStatus;
  }
  // A failed read still leaves a value behind; it must not be used.
  int GetDeviceVid(BridgeHandle handle, std::uint16_t* v) override {
    log.push_back(handle == kDevice ? "vid" : "vid of a bad handle");
    *v = vid;
    return vidStatus;
  }
  int GetDevicePid(BridgeHandle handle, std::uint16_t* p) override {
    log.push_back(handle == kDevice ? "pid" : "pid of a bad handle");
    *p = pid;
    return pidStatus;
  }
  int GetDeviceSerialNumber(BridgeHandle handle, char* buffer, std::uint8_t* length,
                            bool isAscii) override {
    log.push_back(handle == kDevice && isAscii ? "serial" : "serial, bad arguments");
    std::memcpy(buffer, serial.data(), std::min<std::size_t>(serial.size(), 64));
    *length = static_cast<std::uint8_t>(serial.size());
    return serialStatus;
  }
  int Close(BridgeHandle handle) override {
    log.push_back(handle == kDevice ? "close" : "close of a bad handle");
    return kBridgeOk;
  }
};

// Keys 101, 102 and 103 are the three steps of the path.
struct ScriptedRegistry : IRegistry {
  long openStatus[3] = {kRegSuccess, kRegSuccess, kRegSuccess};
  long queryStatus = kRegSuccess;
  std::string value = std::string("COM5") + '\0';
  std::optional<std::uint32_t> reportedSize;  // else the size of `value`
  std::vector<std::string> log;

  long OpenKeyEx(RegKey parent, const std::string& subKey, std::uint32_t access,
                 RegKey* result) override {
    log.push_back(Format("openex %s %s %#x", parent == kHKeyLocalMachine ? "HKLM" : "?",
                         subKey.c_str(), access));
    return Step(0, result);
  }
  long OpenKey(RegKey parent, const std::string& subKey, RegKey* result) override {
    log.push_back(Format("open %d %s", static_cast<int>(parent), subKey.c_str()));
    return Step(parent == 101 ? 1 : parent == 102 ? 2 : -1, result);
  }
  long QueryValueEx(RegKey key, const std::string& name, std::uint32_t*, std::uint8_t* data,
                    std::uint32_t* size) override {
    log.push_back(Format("query %d %s %u", static_cast<int>(key), name.c_str(), *size));
    if (queryStatus != kRegSuccess) return queryStatus;
    std::memcpy(data, value.data(), std::min<std::size_t>(value.size(), *size));
    *size = reportedSize.value_or(static_cast<std::uint32_t>(value.size()));
    return kRegSuccess;
  }
  long CloseKey(RegKey key) override {
    log.push_back(Format("close %d", static_cast<int>(key)));
    return kRegSuccess;
  }

 private:
  long Step(int step, RegKey* result) {
    if (step < 0) return kRegInvalidHandle;
    if (openStatus[step] == kRegSuccess) *result = 101 + step;
    return openStatus[step];
  }
};

using Log = std::vector<std::string>;

const Log kFullBridgeLog{"count", "open 0", "vid", "pid", "serial", "close"};
const Log kOpenedBridgeLog{"count", "open 0", "vid", "pid", "serial"};
const Log kFullRegistryLog{
    "openex HKLM SYSTEM\\CurrentControlSet\\ 0x20019",
    "open 101 Enum\\USB\\",
    "open 102 Vid_10c4&Pid_ea60&Mi_00\\0001_00\\Device Parameters\\",
    "query 103 PortName 100",
    "close 103",
    "close 102",
    "close 101",
};

struct DiscoveryCase {
  const char* name;
  void (*arrange)(ScriptedBridge&, ScriptedRegistry&, FixedVersion&);
  int port;
  Log bridgeLog;
  Log registryLog;
};

void PrintTo(const DiscoveryCase& c, std::ostream* os) {
  *os << c.name;
}

class DiscoveryPaths : public testing::TestWithParam<DiscoveryCase> {};

TEST_P(DiscoveryPaths, ReturnsPortAndCallsInOrder) {
  const DiscoveryCase& c = GetParam();
  ScriptedBridge bridge;
  ScriptedRegistry registry;
  FixedVersion version;
  c.arrange(bridge, registry, version);
  PanelHarness h(bridge, registry, version);
  EXPECT_EQ(h.panel.DiscoverBridgePort(), c.port);
  EXPECT_EQ(bridge.log, c.bridgeLog);
  EXPECT_EQ(registry.log, c.registryLog);
}

void Nothing(ScriptedBridge&, ScriptedRegistry&, FixedVersion&) {}

INSTANTIATE_TEST_SUITE_P(
    Bridge, DiscoveryPaths,
    testing::Values(
        DiscoveryCase{"FoundOnCom5", Nothing, 5, kFullBridgeLog, kFullRegistryLog},
        DiscoveryCase{"NoDevice",
                      [](ScriptedBridge& b, ScriptedRegistry&, FixedVersion&) { b.count = 0; },
                      -1,
                      {"count"},
                      {}},
        // Only device 0 is ever opened.
        DiscoveryCase{"TwoDevices",
                      [](ScriptedBridge& b, ScriptedRegistry&, FixedVersion&) { b.count = 2; }, 5,
                      kFullBridgeLog, kFullRegistryLog},
        // The count decides, not the status that came with it.
        DiscoveryCase{"CountStatusIgnored",
                      [](ScriptedBridge& b, ScriptedRegistry&, FixedVersion&) {
                        b.countStatus = kBridgeDeviceIoFailed;
                      },
                      5, kFullBridgeLog, kFullRegistryLog},
        DiscoveryCase{"OpenFails",
                      [](ScriptedBridge& b, ScriptedRegistry&, FixedVersion&) {
                        b.openStatus = kBridgeDeviceNotFound;
                      },
                      -1,
                      {"count", "open 0"},
                      {}},
        DiscoveryCase{"VidFails",
                      [](ScriptedBridge& b, ScriptedRegistry&, FixedVersion&) {
                        b.vidStatus = kBridgeDeviceIoFailed;
                      },
                      -1,
                      {"count", "open 0", "vid", "close"},
                      {}},
        DiscoveryCase{"PidFails",
                      [](ScriptedBridge& b, ScriptedRegistry&, FixedVersion&) {
                        b.pidStatus = kBridgeDeviceIoFailed;
                      },
                      -1,
                      {"count", "open 0", "vid", "pid", "close"},
                      {}},
        DiscoveryCase{"SerialFails",
                      [](ScriptedBridge& b, ScriptedRegistry&, FixedVersion&) {
                        b.serialStatus = kBridgeDeviceIoFailed;
                      },
                      -1,
                      kFullBridgeLog,
                      {}},
        DiscoveryCase{"OverlongSerialIsCut",
                      [](ScriptedBridge& b, ScriptedRegistry&, FixedVersion&) {
                        b.serial = "0001";
                        b.serial.resize(64, 'X');  // 64 characters: only 63 fit
                      },
                      5, kFullBridgeLog,
                      Log{kFullRegistryLog[0], kFullRegistryLog[1],
                          "open 102 Vid_10c4&Pid_ea60&Mi_00\\0001" + std::string(59, 'X') +
                              "_00\\Device Parameters\\",
                          "query 103 PortName 100", "close 103", "close 102", "close 101"}},
        DiscoveryCase{"BlankInSerialAndUpperCaseIds",
                      [](ScriptedBridge& b, ScriptedRegistry&, FixedVersion&) {
                        b.serial = "AB 12 ";
                        b.vid = 0xABCD;
                        b.pid = 0x0F0E;
                      },
                      5, kFullBridgeLog,
                      Log{kFullRegistryLog[0], kFullRegistryLog[1],
                          "open 102 Vid_abcd&Pid_0f0e&Mi_00\\AB_12__00\\Device Parameters\\",
                          "query 103 PortName 100", "close 103", "close 102", "close 101"}},
        DiscoveryCase{
            "Windows9x",
            [](ScriptedBridge&, ScriptedRegistry&, FixedVersion& v) { v.version = 0x80000004; },
            -1,
            kFullBridgeLog,
            {}},
        DiscoveryCase{
            "Nt4",
            [](ScriptedBridge&, ScriptedRegistry&, FixedVersion& v) { v.version = 0x05650004; },
            -1,
            kFullBridgeLog,
            {}},
        DiscoveryCase{
            "Nt51",
            [](ScriptedBridge&, ScriptedRegistry&, FixedVersion& v) { v.version = 0x0A280105; }, 5,
            kFullBridgeLog, kFullRegistryLog},
        DiscoveryCase{
            "Nt61",
            [](ScriptedBridge&, ScriptedRegistry&, FixedVersion& v) { v.version = 0x1DB10106; }, 5,
            kFullBridgeLog, kFullRegistryLog},
        DiscoveryCase{"SystemKeyMissing",
                      [](ScriptedBridge&, ScriptedRegistry& r, FixedVersion&) {
                        r.openStatus[0] = kRegAccessDenied;
                      },
                      -1, kFullBridgeLog, Log{kFullRegistryLog[0]}},
        DiscoveryCase{"UsbKeyMissing",
                      [](ScriptedBridge&, ScriptedRegistry& r, FixedVersion&) {
                        r.openStatus[1] = kRegFileNotFound;
                      },
                      -1, kFullBridgeLog,
                      Log{kFullRegistryLog[0], kFullRegistryLog[1], "close 101"}},
        DiscoveryCase{"DeviceKeyMissing",
                      [](ScriptedBridge&, ScriptedRegistry& r, FixedVersion&) {
                        r.openStatus[2] = kRegFileNotFound;
                      },
                      -1, kFullBridgeLog,
                      Log{kFullRegistryLog[0], kFullRegistryLog[1], kFullRegistryLog[2],
                          "close 102", "close 101"}},
        DiscoveryCase{"ValueMissing",
                      [](ScriptedBridge&, ScriptedRegistry& r, FixedVersion&) {
                        r.queryStatus = kRegFileNotFound;
                      },
                      -1, kFullBridgeLog, kFullRegistryLog},
        DiscoveryCase{"ValueTooLong",
                      [](ScriptedBridge&, ScriptedRegistry& r, FixedVersion&) {
                        r.queryStatus = kRegMoreData;
                      },
                      -1, kFullBridgeLog, kFullRegistryLog}),
    [](const testing::TestParamInfo<DiscoveryCase>& info) { return info.param.name; });

// The PortName value as it comes back from the registry.
struct ValueCase {
  std::string bytes;
  std::optional<std::uint32_t> reportedSize;
  int port;
};

void PrintTo(const ValueCase& c, std::ostream* os) {
  *os << testing::PrintToString(c.bytes) << " of size " << c.reportedSize.value_or(c.bytes.size());
}

class PortNameValues : public testing::TestWithParam<ValueCase> {};

TEST_P(PortNameValues, GiveThePortNumberOrMinusOne) {
  ScriptedBridge bridge;
  ScriptedRegistry registry;
  FixedVersion version;
  registry.value = GetParam().bytes;
  registry.reportedSize = GetParam().reportedSize;
  PanelHarness h(bridge, registry, version);
  EXPECT_EQ(h.panel.DiscoverBridgePort(), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Bridge, PortNameValues,
    testing::Values(ValueCase{std::string("COM5") + '\0', {}, 5},
                    ValueCase{std::string("COM12") + '\0', {}, 12},
                    ValueCase{std::string("COM007") + '\0', {}, 7},
                    ValueCase{"COM3", {}, 3},   // stored without its zero
                    ValueCase{"COM79", 4u, 7},  // bytes past the value's size are not read
                    ValueCase{std::string(100, '7'), {}, -1},
                    ValueCase{"COM" + std::string(97, '1'), {}, -1},
                    ValueCase{std::string("COM") + '\0', {}, -1},
                    ValueCase{std::string("COM0") + '\0', {}, -1},
                    ValueCase{std::string("COM4 ") + '\0', {}, -1},
                    ValueCase{std::string("COM-4") + '\0', {}, -1},
                    ValueCase{std::string("COMx") + '\0', {}, -1},
                    ValueCase{std::string("LPT1") + '\0', {}, -1},
                    ValueCase{std::string("\\\\.\\COM5") + '\0', {}, -1},
                    ValueCase{std::string(4, '\0'), 4u, -1}, ValueCase{"", 0u, -1}));

TEST(BridgeLookUp, ReplacesBlanksInTheCallersSerial) {
  ScriptedBridge bridge;
  ScriptedRegistry registry;
  FixedVersion version;
  PanelHarness h(bridge, registry, version);
  char serial[] = " A B ";
  EXPECT_EQ(h.panel.LookUpPortNumber(0x10C4, 0xEA60, serial), 5);
  EXPECT_STREQ(serial, "_A_B_");
}

// What OnInitDialog selects in the hidden port list for each PortName.
struct SelectionCase {
  const char* value;  // nullptr: no bridge attached
  int selected;
  const char* entry;  // the text of the selected entry
};

void PrintTo(const SelectionCase& c, std::ostream* os) {
  *os << (c.value ? c.value : "no bridge");
}

class ComPortSelection : public testing::TestWithParam<SelectionCase> {};

TEST_P(ComPortSelection, SelectsTheEntryNamingThePort) {
  ScriptedBridge bridge;
  ScriptedRegistry registry;
  FixedVersion version;
  if (GetParam().value == nullptr) {
    bridge.count = 0;
  } else {
    registry.value = std::string(GetParam().value) + '\0';
  }
  PanelHarness h(bridge, registry, version);
  h.InstrumentOn(2);
  EXPECT_TRUE(h.Init());  // start-up goes on whatever discovery found
  const int selected = h.window.ListGetCurSel(1116);
  EXPECT_EQ(selected, GetParam().selected);
  if (selected >= 0) {
    EXPECT_EQ(h.window.Get(1116).entries.at(selected), GetParam().entry);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bridge, ComPortSelection,
    testing::Values(SelectionCase{nullptr, -1, ""}, SelectionCase{"COM1", 0, "COM 1"},
                    SelectionCase{"COM5", 4, "COM 5"}, SelectionCase{"COM9", 8, "COM 9"},
                    SelectionCase{"COM10", -1, ""}, SelectionCase{"COM12", -1, ""},
                    SelectionCase{"COM0", -1, ""}));

}  // namespace
}  // namespace kolvane::test
