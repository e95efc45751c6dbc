// CONFigure as clicks on the panel, readings in NR3 with the panel's shown
// digits, *RST and *TST?, and a pulled bridge with its recovery.
#include <gtest/gtest.h>

#include <atomic>

#include "panel/model/panel_model.h"
#include "resources/ids.h"
#include "tests/behaviour/scpi_fixture.h"

namespace kolvane::test {
namespace {

using V = std::vector<std::string>;
using R = std::optional<std::string>;

struct ConfigureCase {
  const char* name;
  std::string setup;
  std::string line;
  V frames;
  std::string configuration;
};

class ScpiConfigure : public ::testing::TestWithParam<ConfigureCase> {};

TEST_P(ScpiConfigure, ClicksInAValidOrderAndReadsBack) {
  const ConfigureCase& c = GetParam();
  ScpiBench b;  // frequency mode on channel A
  if (!c.setup.empty()) b.Run(c.setup);
  b.Run(c.line);
  EXPECT_EQ(b.Frames(), c.frames);
  EXPECT_EQ(b.Errors(), std::vector<int>{});
  EXPECT_EQ(b.Run("CONF?"), "\"" + c.configuration + "\"");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScpiConfigure,
    ::testing::Values(
        ConfigureCase{"Frequency", "", "CONF:FREQ", V{"R1"}, "FREQ (@1)"},
        ConfigureCase{"FrequencyOnB", "", "CONF:FREQ (@2)", V{"R1", "K2"}, "FREQ (@2)"},
        // Channels A and C ask for a readback.
        ConfigureCase{"PeriodOnC", "", "CONF:PER (@3)", V{"R2", "K3", "D1"}, "PER (@3)"},
        ConfigureCase{"PeriodLeavesB", "CONF:FREQ (@2)", "CONF:PER", V{"K1", "D1", "R2"},
                      "PER (@1)"},
        // The dialog sends its remembered variant first.
        ConfigureCase{"RatioKeepsA", "", "CONF:FREQ:RAT (@3),(@1)", V{"A1", "A2"},
                      "FREQ:RAT (@3),(@1)"},
        ConfigureCase{"RatioBcTakesBFirst", "", "CONF:FREQ:RAT (@2),(@3)", V{"K2", "A3"},
                      "FREQ:RAT (@2),(@3)"},
        ConfigureCase{"Dl4MeasuresOnC", "", "CONF:PDUR 4", V{"R3", "R6"}, "PDUR 4 (@3)"},
        ConfigureCase{"Dl4ThenMemoryOff", "MEM ON", "CONF:PDUR 4", V{"R3", "R6", "P1"},
                      "PDUR 4 (@3)"},
        ConfigureCase{"CountByDuration", "", "CONF:TOT:DUR", V{"R7"}, "TOT:DUR (@1)"},
        ConfigureCase{"CountOnCFromCount", "CONF:TOT:PER", "CONF:TOT:PER (@3)",
                      V{"R1", "K3", "D1", "R8"}, "TOT:PER (@3)"},
        ConfigureCase{"TachometerThenB", "", "CONF:TACH (@2)", V{"H", "K2"}, "TACH (@2)"},
        ConfigureCase{"DutyCycle", "", "CONF:DCYC", V{"S"}, "DCYC (@1)"},
        ConfigureCase{"FromDl4ToRatioBc", "CONF:PDUR 4", "CONF:FREQ:RAT (@2),(@3)",
                      V{"R1", "K2", "A3"}, "FREQ:RAT (@2),(@3)"},
        // A query form takes what CONFigure takes; single shot starts the reading.
        ConfigureCase{"MeasureOnB", "INIT:CONT OFF", "MEAS:FREQ? (@2)", V{"R1", "K2", "C"},
                      "FREQ (@2)"},
        ConfigureCase{"MeasureDl4", "INIT:CONT OFF", "MEAS:PDUR? 4", V{"R3", "R6", "C"},
                      "PDUR 4 (@3)"},
        ConfigureCase{"MeasureRatio", "INIT:CONT OFF", "MEAS:FREQ:RAT? (@3),(@1)",
                      V{"A1", "A2", "C"}, "FREQ:RAT (@3),(@1)"}),
    [](const auto& i) { return std::string(i.param.name); });

struct ReadingCase {
  const char* name;
  std::string setup;
  std::uint32_t n1;
  std::optional<std::uint32_t> n2;
  std::string reading;
};

class ScpiReading : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(ScpiReading, KeepsTheShownDigits) {
  const ReadingCase& c = GetParam();
  ScpiBench b;
  if (!c.setup.empty()) b.Run(c.setup);
  b.Result(c.n1, c.n2);
  EXPECT_EQ(b.Run("READ?"), c.reading);
  EXPECT_EQ(b.Errors(), std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScpiReading,
    ::testing::Values(ReadingCase{"KilohertzToHertz", "", 1000001, {}, "+1.000001E+07"},
                      ReadingCase{"TrailingZeroKept", "", 1230, {}, "+1.230E+04"},
                      ReadingCase{"Zero", "", 0, {}, "+0.00E+00"},
                      ReadingCase{"OneDigit", "FREQ:GATE:TIME 1ms", 5, {}, "+5E+03"},
                      ReadingCase{"Microseconds", "CONF:PER", 1234, {}, "+1.234E-05"},
                      ReadingCase{"Count", "CONF:TOT:DUR", 40, {}, "+4.0E+01"},
                      ReadingCase{"DutyCycle", "CONF:DCYC", 1, 4, "+2.500E-03"},
                      ReadingCase{"Overflow", "CONF:DCYC", 1, 0, "+9.91E+37"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(ScpiMeasure, ReadDropsWaitingResultsAndTakesSampleCount) {
  ScpiBench b;
  // Results pile up while no command reads: more than the link drops at once.
  for (int i = 0; i < 300; ++i) b.Result(1, std::nullopt, 0);
  std::uint64_t at = 10;
  for (std::uint32_t n : {1230u, 1240u, 1250u}) b.Result(n, std::nullopt, at += 100);
  EXPECT_EQ(b.Run("SAMP:COUN 3;:READ?"), "+1.230E+04,+1.240E+04,+1.250E+04");
  EXPECT_EQ(b.Run("FETC?"), "+1.230E+04,+1.240E+04,+1.250E+04");
  // The panel's display, which the pages show, has the last one too.
  b.engine.View([](const PanelModel& model, bool) {
    EXPECT_NE(model.Window().GetText(ids::kReadingDisplay).find("12.50"), std::string::npos)
        << model.Window().GetText(ids::kReadingDisplay);
  });
  b.Run("*RST");
  EXPECT_EQ(b.Run("SAMP:COUN?"), "1");
}

TEST(ScpiMeasure, InterruptionAndSilenceGiveNotANumberWithAnError) {
  ScpiBench b;
  b.ports.Reply(std::string("N"), 5);
  EXPECT_EQ(b.Run("READ?"), "+9.91E+37");
  EXPECT_EQ(b.Errors(), std::vector<int>{-230});
  EXPECT_EQ(b.Run("SAMP:COUN 2;:MEAS:FREQ?"), "+9.91E+37,+9.91E+37");
  EXPECT_EQ(b.Errors(), std::vector<int>{203});
  EXPECT_EQ(b.Run("ABOR;:FETC?"), std::nullopt);
  EXPECT_EQ(b.Errors(), std::vector<int>{-230});
}

TEST(ScpiMeasure, SingleShotStartsEachReading) {
  ScpiBench b;
  b.Run("INIT:CONT OFF");
  const auto r = b.Run("SAMP:COUN 2;:READ?");
  EXPECT_EQ(b.Frames(), (V{"C", "C"}));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->find("E+04,"), 6u) << *r;  // the model's 12.345678 kHz on A
  b.Run("INIT");
  EXPECT_EQ(b.Frames(), V{"C"});
}

TEST(ScpiMeasure, ResetSendsTheStartSettingsWhateverIsEnabled) {
  ScpiBench b;
  b.Run("CONF:PDUR 4;:INIT:CONT OFF");
  b.Run("*RST");
  EXPECT_EQ(b.Frames(), (V{"M2", "T3", "K1", "D1", "R1", "I0"}));
  EXPECT_EQ(b.Run("CONF?;:FREQ:GATE:TIME?;:TST?;:INIT:CONT?"), "\"FREQ (@1)\";+1.0E-01;+1.0E-06;1");
  EXPECT_EQ(b.Run("*TST?"), "0");
}

TEST(ScpiMeasure, SelfTestFailsWithoutAnAnswer) {
  ScpiBench b(std::nullopt);
  std::string why;
  b.model.ApplyWord("silent", &why);
  EXPECT_EQ(b.Run("*TST?"), "1");
}

TEST(ScpiMeasure, PulledBridgeGivesHardwareErrorsUntilItIsBack) {
  ScpiBench b;
  b.ports.Unplug("COM1:");
  b.Run("FREQ:GATE:TIME 1");
  // A reading query still answers, so that no client waits out its time-out.
  EXPECT_EQ(b.Run("READ?"), "+9.91E+37");
  EXPECT_EQ(b.Errors(), (std::vector<int>{-240, -240}));
  // The server's own state still answers.
  EXPECT_EQ(b.Run("*IDN?;FREQ:GATE:TIME?").value_or("").substr(0, 8), "Kolvane,");
  b.ports.Replug("COM1:");
  b.Run("FREQ:GATE:TIME 10");
  EXPECT_EQ(b.Frames(), (V{"D1", "T5"}));
  EXPECT_EQ(b.Errors(), std::vector<int>{});
}

// VXI-11's device_clear: a set flag stops the line in hand with no reply
// and no error; cleared, the session goes on as before.
TEST(ScpiMeasure, CancelledLineEndsWithoutReplyOrError) {
  ScpiBench b;
  std::atomic<bool> cancel{true};
  b.session->WatchCancel(&cancel);
  EXPECT_EQ(b.Run("SAMP:COUN 2;:READ?"), std::nullopt);
  EXPECT_TRUE(b.Frames().empty());
  cancel = false;
  EXPECT_EQ(b.Run("SAMP:COUN?"), "1");
  EXPECT_TRUE(b.Errors().empty());
  b.session->WatchCancel(nullptr);
  b.Result(1230);
  EXPECT_EQ(b.Run("READ?"), "+1.230E+04");
}

// The poll between commands takes every result that waits: one a poll
// would leave the pages and the metrics ever further behind a fast counter.
TEST(ScpiMeasure, PollBetweenCommandsTakesEveryWaitingResult) {
  ScpiBench b;
  for (const std::uint32_t n : {1230u, 1240u, 1250u}) b.Result(n, std::nullopt, 0);
  b.engine.Tick();
  const auto live = b.engine.Live().Take();
  EXPECT_EQ(live.readings, 3u);
  ASSERT_TRUE(live.reading);
  EXPECT_EQ(live.reading->value, 1.25e4);
}

}  // namespace
}  // namespace kolvane::test
