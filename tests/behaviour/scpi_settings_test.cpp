// Each setting command's frames, frame for frame, and what the panel would
// refuse or disable: -221 with nothing sent, -222 for a value off the list.
#include <gtest/gtest.h>

#include "tests/behaviour/scpi_fixture.h"

namespace kolvane::test {
namespace {

struct SettingCase {
  const char* name;
  std::string setup;  // run first, unchecked
  std::string line;
  std::vector<std::string> frames;
  std::vector<int> errors;
};

class ScpiSetting : public ::testing::TestWithParam<SettingCase> {};

TEST_P(ScpiSetting, SendsThePanelsFramesOrRefuses) {
  const SettingCase& c = GetParam();
  ScpiBench b;  // frequency mode on channel A, test and memory off
  if (!c.setup.empty()) b.Run(c.setup);
  b.Errors();
  EXPECT_EQ(b.Run(c.line), std::nullopt);
  EXPECT_EQ(b.Frames(), c.frames);
  EXPECT_EQ(b.Errors(), c.errors);
}

using V = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Cases, ScpiSetting,
    ::testing::Values(
        SettingCase{"Gate", "", "FREQ:GATE:TIME 10", V{"T5"}, {}},
        SettingCase{"GateAgainIsASecondClick", "FREQ:GATE:TIME 1", "FREQ:GATE:TIME 1", V{"T4"}, {}},
        SettingCase{"GateDefault", "", "FREQ:GATE:TIME DEF", V{"T3"}, {}},
        SettingCase{"Averaging", "CONF:PER", "PER:AVER:COUN 1000", V{"T4"}, {}},
        SettingCase{"AveragingOffList", "", "PER:AVER:COUN 50", V{}, {-222}},
        SettingCase{"GateDisabledInTachometer", "CONF:TACH", "FREQ:GATE:TIME 1", V{}, {-221}},
        SettingCase{"StampDisabledWithTestOff", "", "TST 1us", V{}, {-221}},
        SettingCase{"StampWithTestOn", "DIAG:TEST ON", "TST 100ns", V{"M1"}, {}},
        SettingCase{"StampInPeriodMode", "CONF:PER", "TST MAX", V{"M5"}, {}},
        SettingCase{"StampOffList", "CONF:PER", "TST 2E-6", V{}, {-222}},
        SettingCase{"TestToggleOn", "", "DIAG:TEST ON", V{"Q2"}, {}},
        SettingCase{"TestAlreadyOff", "", "DIAG:TEST:STAT OFF", V{}, {}},
        SettingCase{"MemoryOn", "", "MEM ON", V{"P2"}, {}},
        SettingCase{"MemoryAlreadyOn", "MEM 1", "MEM:STAT 1", V{}, {}},
        SettingCase{"MemoryRefusedInDutyCycle", "CONF:DCYC", "MEM ON", V{}, {-221}},
        SettingCase{"MemoryDisabledOnChannelB", "CONF:FREQ (@2)", "MEM ON", V{}, {-221}},
        SettingCase{"External", "", "ROSC:SOUR EXT", V{"I3"}, {}},
        SettingCase{"Internal", "", "SENS:ROSC:SOUR INTERNAL", V{"I2"}, {}},
        SettingCase{"SingleShot", "", "INIT:CONT OFF", V{"I1"}, {}},
        SettingCase{"Automatic", "INIT:CONT OFF", "INIT:CONT ON", V{"I0"}, {}},
        SettingCase{"Impedance", "", "INP1:IMP 50", V{"V1"}, {}},
        SettingCase{"ImpedanceMegaohm", "", "INP:IMP 1 MOHM", V{"V2"}, {}},
        SettingCase{"ImpedanceOffList", "", "INP1:IMP 75", V{}, {-222}},
        SettingCase{"Coupling", "", "INPUT1:COUPLING AC", V{"V6"}, {}},
        SettingCase{"Attenuation", "", "INP1:ATT 10", V{"V3"}, {}},
        SettingCase{"AttenuationOne", "", "INP1:ATT 1", V{"V4"}, {}},
        SettingCase{"Filter", "", "INP1:FILT:LPAS:STAT ON", V{"V7"}, {}},
        SettingCase{"FilterOff", "INP1:FILT ON", "INP1:FILT OFF", V{"V8"}, {}},
        // A check box is clicked only to change it.
        SettingCase{"FilterOffWhenOff", "", "INP1:FILT OFF", V{}, {}},
        SettingCase{"SlopeNegative", "", "INP1:SLOP NEG", V{"F1"}, {}},
        SettingCase{"InputOfInactiveChannel", "", "INP3:COUP DC", V{}, {-221}},
        SettingCase{"InputOnChannelC", "CONF:FREQ (@3)", "INP3:COUP DC", V{"V5"}, {}},
        // (100 + 512) / 8 = 76.5 takes the step above: position 77, "M".
        SettingCase{"Level", "", "INP1:LEV 100", V{"LM"}, {}},
        SettingCase{"LevelLowest", "", "INP1:LEV MIN", V{std::string("L\0", 2)}, {}},
        SettingCase{"LevelReset", "", "INP1:LEV DEF", V{"L@"}, {}},
        SettingCase{"LevelOutOfRange", "", "INP1:LEV 505", V{}, {-222}},
        SettingCase{"LevelRefusedInTest", "DIAG:TEST ON", "INP1:LEV 0", V{}, {-221}},
        // The instrument reads back 128 as the stored value.
        SettingCase{"CalibrationEntersThenSets", "", "CAL:VAL 200", V{"Y\x80", "Y\xc8"}, {}},
        SettingCase{"CalibrationStoreThenFrequency", "CAL:VAL 200", "CAL:STOR", V{"Z", "R1"}, {}},
        SettingCase{"StoreWithoutCalibration", "", "CAL:STOR", V{}, {-221}},
        SettingCase{
            "StoreAfterCalibrationEnded", "CAL:VAL 200;:INP1:COUP DC", "CAL:STOR", V{}, {-221}},
        SettingCase{"StoreTwice", "CAL:VAL 200;STOR", "CAL:STOR", V{}, {-221}},
        SettingCase{"CalibrationOutOfRange", "", "CAL:VAL 256", V{}, {-222}},
        SettingCase{"PeriodOnChannelB", "", "CONF:PER (@2)", V{}, {-221}},
        SettingCase{"Dl4OnChannelA", "", "CONF:PDUR 4,(@1)", V{}, {-221}},
        SettingCase{"NoFifthDurationVariant", "", "CONF:PDUR 5", V{}, {-222}},
        SettingCase{"NotAcknowledged", "", "INIT:CONT OFF;CONF:TOT:DUR (@2)", V{"I1"}, {-221}}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(ScpiSettingQueries, ReadTheSettingsBack) {
  ScpiBench b;
  b.Run("FREQ:GATE:TIME 1E-2;:ROSC:SOUR EXT;:INP1:IMP 50;COUP AC;ATT 10;FILT ON;SLOP NEG");
  b.Run("INP1:LEV -200;:DIAG:TEST ON;:TST 1E-4;:MEM ON;:INIT:CONT OFF;:SAMP:COUN 7");
  EXPECT_EQ(b.Errors(), std::vector<int>{});
  EXPECT_EQ(b.Run("FREQ:GATE:TIME?;:PER:AVER:COUN?;:TST?;:ROSC:SOUR?;:DIAG:TEST?;:MEM?"),
            "+1.0E-02;10;+1.0E-04;EXT;1;1");
  EXPECT_EQ(b.Run("INP1:IMP?;COUP?;ATT?;FILT?;SLOP?;LEV?;:INIT:CONT?;:SAMP:COUN?"),
            "+5.0E+01;AC;10;1;NEG;-200;0;7");
  // Leaving calibration unsaved gives the stored value again.
  b.Run("CAL:VAL 10");
  EXPECT_EQ(b.Run("CAL:VAL?"), "10");
  b.Run("FREQ:GATE:TIME 1");
  EXPECT_EQ(b.Run("CAL:VAL?"), "128");
  b.Run("CAL:VAL 20;:DIAG:TEST OFF");
  EXPECT_EQ(b.Run("CAL:VAL?"), "128");
}

TEST(ScpiSettingFaults, AnUnacknowledgedFrameIsADeviceError) {
  ScpiBench b(std::nullopt, {"noack:T5"});
  b.Run("FREQ:GATE:TIME 10");
  EXPECT_EQ(b.Run("SYST:ERR?"),
            "201,\"Setting not acknowledged;the instrument did not acknowledge 'T5'\"");
}

}  // namespace
}  // namespace kolvane::test

namespace kolvane::test {
namespace {

// What the start-up readback leaves enabled, by the panel's rules for the
// mode and channel read back.
struct EnablingCase {
  const char* name;
  std::uint8_t mode;
  std::uint8_t channel;
  std::uint8_t launch;
  std::string line;
  std::vector<std::string> frames;  // empty: refused with -221
};

class ScpiEnabling : public ::testing::TestWithParam<EnablingCase> {};

TEST_P(ScpiEnabling, FollowsTheReadback) {
  const EnablingCase& c = GetParam();
  sim::PanelBytes s = sim::DefaultState();
  s[protocol::kMode] = c.mode;
  s[protocol::kChannel] = c.channel;
  s[protocol::kLaunch] = c.launch;
  ScpiBench b(s);
  b.Run(c.line);
  EXPECT_EQ(b.Frames(), c.frames);
  EXPECT_EQ(b.Errors(), c.frames.empty() ? std::vector<int>{-221} : std::vector<int>{});
}

using V = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Cases, ScpiEnabling,
    ::testing::Values(EnablingCase{"TachometerNoGate", 10, 2, 0, "FREQ:GATE:TIME 1", V{}},
                      EnablingCase{"TachometerNoStamp", 10, 2, 0, "TST 1E-3", V{}},
                      EnablingCase{"PeriodStamp", 1, 4, 0, "TST 1E-3", V{"M5"}},
                      EnablingCase{"Dl1Stamp", 2, 1, 0, "TST 1E-3", V{"M5"}},
                      EnablingCase{"RatioStampFollowsTest", 9, 1, 0, "TST 1E-3", V{}},
                      EnablingCase{"ChannelBNoInputs", 0, 2, 0, "INP1:IMP 50", V{}},
                      EnablingCase{"SingleShotNoAutomatic", 0, 1, 1, "INIT:CONT ON", V{}},
                      EnablingCase{"SingleShotAgain", 0, 1, 1, "INIT:CONT OFF", V{"I1"}},
                      EnablingCase{"Dl4KeepsChannelC", 5, 4, 0, "CONF:PDUR 4,(@3)", V{"R3", "R6"}}),
    [](const auto& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace kolvane::test
