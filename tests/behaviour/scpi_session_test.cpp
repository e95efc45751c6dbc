// Sessions side by side over one instrument, a line that fails while a
// command runs, and a server that found no instrument.
#include <gtest/gtest.h>

#include "tests/behaviour/scpi_fixture.h"

namespace kolvane::test {
namespace {

using V = std::vector<std::string>;

TEST(ScpiSessions, EachHasItsOwnQueueAndCountButOneInstrument) {
  ScpiBench b;
  const auto other = b.engine.OpenSession();
  b.Run("FOO;SAMP:COUN 5");
  EXPECT_EQ(other->Execute("SYST:ERR:COUN?;:SAMP:COUN?"), "0;1");
  other->Execute("FREQ:GATE:TIME 10");
  EXPECT_EQ(b.Run("FREQ:GATE:TIME?;:SAMP:COUN?;:SYST:ERR:COUN?"), "+1.0E+01;5;1");
}

TEST(ScpiSessions, ALineLostMidReadingGivesAHardwareErrorAndNotANumber) {
  ScpiBench b;
  b.Run("INIT:CONT OFF");
  // The bridge goes as the start frame is written.
  b.ports.OnWrite([&](ScriptedPorts& p, const std::vector<std::uint8_t>&) { p.Unplug("COM1:"); });
  EXPECT_EQ(b.Run("READ?"), "+9.91E+37");
  EXPECT_EQ(b.Errors(), std::vector<int>{-240});
  EXPECT_EQ(b.Run("*TST?"), "1");
}

TEST(ScpiSessions, ASingleShotReadbackDisablesAutomaticLaunchAsOnThePanel) {
  ScpiBench b;
  b.Run("INIT:CONT OFF;:CONF:FREQ (@3)");
  EXPECT_EQ(b.Run("INIT:CONT ON;:SYST:ERR?"),
            "-221,\"Settings conflict;the panel disables automatic launch after reading back "
            "single-shot launch\"");
  b.Run("*RST");
  EXPECT_EQ(b.Frames().back(), "I0");
  EXPECT_EQ(b.Run("INIT:CONT OFF;CONT ON;:SYST:ERR:COUN?"), "0");
}

TEST(ScpiSessions, CalibrationIsStoredAndKept) {
  ScpiBench b;
  b.Run("CAL:VAL 90;VAL 91;STOR");
  EXPECT_EQ(b.Frames(), (V{"Y\x80", "YZ", "Y[", "Z", "R1"}));
  EXPECT_EQ(b.Run("CAL:VAL?;:CONF?"), "91;\"FREQ (@1)\"");
  EXPECT_EQ(b.model.SavedCalibration(), 91);
}

TEST(ScpiSessions, WithoutAnInstrumentOnlyTheServersOwnStateAnswers) {
  VirtualClock clock;
  ScriptedPorts ports{clock};
  IScanObserver quiet;
  scpi::Engine engine{{ports, clock}};
  EXPECT_FALSE(engine.Connect(1, 9, quiet));
  const auto s = engine.OpenSession();
  EXPECT_EQ(s->Execute("*IDN?").value_or("").substr(0, 27), "Kolvane,Frequency Counter,,");
  EXPECT_EQ(s->Execute("*TST?;:FREQ:GATE:TIME 1;:READ?;:SYST:ERR?;ERR?"),
            "1;+9.91E+37;-240,\"Hardware error;no instrument was found\";-240,\"Hardware "
            "error;no instrument was found\"");
  EXPECT_TRUE(ports.writes.empty());
}

}  // namespace
}  // namespace kolvane::test
