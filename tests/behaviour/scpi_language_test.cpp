// The SCPI language on a connected instrument: headers, parameters and the
// error codes each kind of bad input queues, the error queue and the status
// registers.
#include <gtest/gtest.h>

#include "tests/behaviour/scpi_fixture.h"
#include "version.h"

namespace kolvane::test {
namespace {

struct LineCase {
  const char* name;
  std::string line;
  std::optional<std::string> reply;
  std::vector<int> errors;
};

class ScpiLanguage : public ::testing::TestWithParam<LineCase> {};

TEST_P(ScpiLanguage, RepliesAndQueuesErrors) {
  const LineCase& c = GetParam();
  ScpiBench b;
  EXPECT_EQ(b.Run(c.line), c.reply);
  EXPECT_EQ(b.Errors(), c.errors);
}

using R = std::optional<std::string>;
const auto kNone = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Cases, ScpiLanguage,
    ::testing::Values(
        LineCase{"AnyCaseLongAndShort", "sense:freq:GATE:time 10 ms;time?", R("+1.0E-02"), {}},
        LineCase{
            "OptionalNodeAndRoot", "FREQ:GATE:TIME 1;:SENS:FREQ:GATE:TIME?", R("+1.0E+00"), {}},
        LineCase{"NumberForms",
                 "FREQ:GATE:TIME 1E-3;TIME?;TIME +.01;TIME?;TIME #H0A;TIME?",
                 R("+1.0E-03;+1.0E-02;+1.0E+01"),
                 {}},
        LineCase{"MinMaxDefQueries",
                 "FREQ:GATE:TIME? MIN;TIME? MAX;TIME? DEF",
                 R("+1.0E-03;+1.0E+01;+1.0E-01"),
                 {}},
        LineCase{
            "RelativeToThePath", "INP1:COUP AC;COUP?;:SYST:VERS?;ERR:COUN?", R("AC;1999.0;0"), {}},
        LineCase{"NotBelowAnotherBranch", "SYST:ERR:COUN?;VERS?", R("0"), {-113}},
        LineCase{"CommonKeepsThePath", "FREQ:GATE:TIME 1;*OPC?;TIME?", R("1;+1.0E+00"), {}},
        LineCase{"SeveralQueriesOneLine", "SYST:VERS?;*OPC?;SAMP:COUN?", R("1999.0;1;1"), {}},
        LineCase{"CrLfPartsAreNoCommand", "SYST:VERS?  ;  ", R("1999.0"), {}},
        LineCase{"OutOfList", "FREQ:GATE:TIME 0.5", kNone, {-222}},
        LineCase{"WrongSuffix", "FREQ:GATE:TIME 1 kHz", kNone, {-131}},
        LineCase{"MissingParameter", "FREQ:GATE:TIME", kNone, {-109}},
        LineCase{"ExtraParameter", "FREQ:GATE:TIME 1,2", kNone, {-108}},
        LineCase{"WordForNumber", "FREQ:GATE:TIME ON", kNone, {-104}},
        LineCase{"BadNumber", "FREQ:GATE:TIME 1.2.3", kNone, {-102}},
        LineCase{"UnknownHeader", "FREQ:GAT:TIME 1;*OPC?", R("1"), {-113}},
        LineCase{"QueryOnlyAsCommand", "SYST:ERR", kNone, {-113}},
        LineCase{"ChannelBHasNoInputs", "INP2:IMP 50", kNone, {-114}},
        LineCase{"SuffixOnPlainNode", "FREQ2:GATE:TIME 1", kNone, {-114}},
        LineCase{"UnknownWord", "INP:COUP XX", kNone, {-224}},
        LineCase{"ControlByte", std::string("*IDN?\x01"), kNone, {-101}},
        LineCase{"HighByte", "SYST:VERS?;FREQ:GATE:TIME 1\xff", R("1999.0"), {-101}},
        LineCase{"ControlByteInStringIsData", "CONF:FREQ '\x01'", kNone, {-104}},
        LineCase{"UnterminatedString", "CONF:FREQ 'abc", kNone, {-102}},
        LineCase{"ChannelOutOfList", "CONF:FREQ (@4)", kNone, {-222}},
        LineCase{"UnclosedChannelList", "CONF:FREQ (@1", kNone, {-102}},
        LineCase{"RatioPairOutOfList", "CONF:FREQ:RAT (@1),(@2)", kNone, {-222}},
        LineCase{"ErrorBitsInEsr", "FOO;FREQ:GATE:TIME 3;*ESR?;*ESR?", R("48;0"), {-113, -222}},
        LineCase{"EmptyQueue", "SYST:ERR?", R("0,\"No error\""), {}}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(ScpiLanguageIdentity, IdnGivesTheSerialAsThePanelShowsIt) {
  ScpiBench b;
  EXPECT_EQ(b.Run("*idn?"), R(std::string("Kolvane,Frequency Counter,0005,") + KOLVANE_VERSION));
}

TEST(ScpiLanguageQueue, OverflowReplacesTheLastEntry) {
  ScpiBench b;
  for (int i = 0; i < 19; ++i) b.Run("FOO");
  b.Run("FREQ:GATE:TIME 3");
  b.Run("INP2:IMP 50;INP2:IMP 50");
  EXPECT_EQ(b.Run("SYST:ERR:COUN?"), R("20"));
  const std::vector<int> codes = b.Errors();
  ASSERT_EQ(codes.size(), 20u);
  EXPECT_EQ(codes.front(), -113);
  EXPECT_EQ(codes.back(), -350);
  EXPECT_EQ(codes[18], -113);
  // A detail follows the standard text.
  b.Run("MEM ON;CONF:TACH;:MEM OFF");
  EXPECT_EQ(b.Run("SYST:ERR?"),
            R("-221,\"Settings conflict;memory cannot be used in tachometer, duty-cycle or DL4 "
              "mode\""));
}

TEST(ScpiLanguageStatus, StatusByteSummarisesQueueAndEvents) {
  ScpiBench b;
  EXPECT_EQ(b.Run("*STB?"), R("0"));
  b.Run("FOO");
  EXPECT_EQ(b.Run("*STB?"), R("4"));
  b.Run("*ESE 32;*SRE 36");
  EXPECT_EQ(b.Run("*STB?;*ESE?;*SRE?"), R("100;32;36"));
  b.Run("*CLS");
  EXPECT_EQ(b.Run("*STB?;*ESR?"), R("0;0"));
  b.Run("*OPC");
  EXPECT_EQ(b.Run("*ESR?"), R("1"));
  b.session->InputOverrun();
  EXPECT_EQ(b.Errors(), (std::vector<int>{-363}));
  // A log sees the errors of the last line without taking them.
  b.Run("FOO;INP2:IMP 50");
  EXPECT_EQ(b.session->LastErrors(),
            (std::vector<std::string>{"-113,\"Undefined header\"",
                                      "-114,\"Header suffix out of range;INPut takes 1 (channel A) "
                                      "or 3 (channel C)\""}));
  EXPECT_EQ(b.Run("SYST:ERR:COUN?"), "2");
}

}  // namespace
}  // namespace kolvane::test
