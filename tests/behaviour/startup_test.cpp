// Start-up, port scan, About box, colours and the closing sequence.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/format.h"
#include "tests/support/panel_harness.h"

namespace kolvane::test {
namespace {

const std::string kOpenError = "Ошибка COM порта ";
const std::string kNoData = "Нет передачи данных по USB    ";
const CommTimeouts kLink{100, 0, 1000, 0, 800};

TEST(Startup, InitialisesPanelBeforeScanning) {
  PanelHarness h;
  h.InstrumentOn(1);
  ASSERT_TRUE(h.Init());
  FakeWindow& w = h.window;

  EXPECT_EQ(w.GetText(1104), " 0");
  EXPECT_EQ(w.GetText(1106), "  127");
  EXPECT_EQ(w.SpinGetPos(1105), 64);
  EXPECT_EQ(w.SpinGetPos(1108), 127);
  EXPECT_EQ(w.Get(1104).font, h.panel.spinTextFont);
  EXPECT_EQ(w.Get(1106).font, h.panel.spinTextFont);
  EXPECT_EQ(h.panel.spinTextFont, (FontSpec{22, 0, 400, 0x20, "Arial"}));
  EXPECT_EQ(h.panel.readingFont, (FontSpec{34, 0, 400, 0x20, "Arial"}));

  for (int id : {1002, 1006, 1013, 1016, 1066}) EXPECT_EQ(w.GetCheck(id), 1) << id;
  for (int id : {1001, 1003, 1007, 1014, 1019, 1113, 1067}) EXPECT_EQ(w.GetCheck(id), 0) << id;
  for (int id = 1001; id <= 1005; ++id) EXPECT_FALSE(w.IsControlEnabled(id)) << id;
  for (int id = 1006; id <= 1010; ++id) EXPECT_TRUE(w.IsControlEnabled(id)) << id;

  struct ListCase {
    int id;
    std::vector<std::string> entries;
    int selected;
  };
  const ListCase lists[] = {
      {1056, {"внутр. ген.", "внешн. ген."}, 0},
      {1114, {"внутр. зап.", "внешн. зап."}, 0},
      {1069, {"50 Ом", "1 МOм"}, 1},
      {1070, {" =~ ", " ~ "}, 0},
      {1071, {"1:1", "1:10"}, 0},
      {1116, {"COM 1", "COM 2", "COM 3", "COM 4", "COM 5", "COM 6", "COM 7", "COM 8", "COM 9"}, -1},
  };
  for (const auto& c : lists) {
    EXPECT_EQ(w.Get(c.id).entries, c.entries) << c.id;
    EXPECT_EQ(w.ListGetCurSel(c.id), c.selected) << c.id;
  }
  EXPECT_EQ(w.Get(1000).progressLower, 1);
  EXPECT_EQ(w.Get(1000).progressUpper, 10);

  ASSERT_EQ(w.systemMenu.size(), 2u);
  EXPECT_EQ(w.systemMenu[0].first, 0);
  EXPECT_EQ(w.systemMenu[1], (std::pair<int, std::string>{16, "&About Kolvane..."}));
  EXPECT_EQ(w.icons, (std::vector<std::pair<int, bool>>{{128, true}, {128, false}}));

  EXPECT_EQ(h.state.calibrationCode, 127);
  EXPECT_EQ(h.state.calibrationUntouched, 1u);
  EXPECT_EQ(h.state.timestampIndex, 2u);
  EXPECT_EQ(h.state.gateIndex, 1u);
  EXPECT_EQ(h.state.measureMode, 1u);
  EXPECT_EQ(h.state.configRequested, 1u);
  EXPECT_EQ(w.timerStarts.back(), (std::pair<unsigned, unsigned>{1, 20}));
  EXPECT_EQ(h.state.timerId, 1u);
}

TEST(Startup, ConfiguresThePortItFinds) {
  PanelHarness h;
  h.InstrumentOn(2);
  ASSERT_TRUE(h.Init());
  const Dcb& dcb = h.ports.states.at("COM2:");
  EXPECT_EQ(dcb.baudRate, 19200u);
  EXPECT_EQ(dcb.byteSize, 8);
  EXPECT_EQ(dcb.stopBits, 0);
  EXPECT_FALSE(dcb.fParity);
  EXPECT_EQ(dcb.parity, 2) << "the parity field itself is left as the driver reports it";
  EXPECT_EQ(h.ports.timeouts.at("COM2:"), kLink);
  EXPECT_EQ(h.state.savedTimeouts, (CommTimeouts{1, 2, 3, 4, 5}));
  EXPECT_EQ(h.state.portFound, 1u);
}

struct ScanCase {
  const char* name;
  std::vector<int> present;  // ports that open
  std::vector<int> silent;   // ports that open but never answer
  int lateFirst;             // how many handshakes answer only on the second read
  bool found;
  std::string serialText;             // field 1119 afterwards
  std::string message;                // field 1053 afterwards
  std::vector<std::string> attempts;  // ports opened, in order
  std::uint64_t virtualMs;            // time the scan costs
};

class Scan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(Scan, FollowsThePassCounter) {
  const ScanCase& c = GetParam();
  PanelHarness h;
  for (int n : c.present) h.ports.AddPort(Format("COM%d:", n));
  for (int n : c.silent) h.ports.AddPort(Format("COM%d:", n));
  // Silent ports swallow the handshake: answer only on the present ones.
  h.ports.OnWrite([&, count = 0](ScriptedPorts& p, const std::vector<std::uint8_t>& f) mutable {
    if (f != std::vector<std::uint8_t>{'B', '\r'}) return;
    const std::string port = p.writes.back().port;
    for (int n : c.silent) {
      if (port == Format("COM%d:", n)) return;
    }
    const std::uint8_t reply[] = {'N', 5};
    p.Reply(reply, count++ < c.lateFirst ? 1500 : 0);
  });

  const std::uint64_t start = h.clock.now;
  EXPECT_EQ(h.Init(), c.found);
  EXPECT_EQ(h.clock.now - start, c.virtualMs);
  EXPECT_EQ(h.window.GetText(1119), c.serialText);
  EXPECT_EQ(h.Message(), c.message);
  EXPECT_EQ(h.ports.openAttempts, c.attempts);
  EXPECT_EQ(h.window.timers.count(1), c.found ? 1u : 0u);
  if (!c.found) {
    EXPECT_EQ(h.state.measureMode, 0u);
    EXPECT_EQ(h.state.timestampIndex, 0u);
    EXPECT_EQ(h.state.configRequested, 0u);
  }
}

const std::vector<std::string> kAll = {
    "COM1:", "COM2:", "COM3:", "COM4:", "COM5:", "COM6:", "COM7:", "COM8:", "COM9:"};

INSTANTIATE_TEST_SUITE_P(
    Ports, Scan,
    ::testing::Values(
        ScanCase{
            "OnCom3", {3}, {}, 0, true, "   0005", kOpenError, {"COM1:", "COM2:", "COM3:"}, 300},
        ScanCase{"NoPortAtAll", {}, {}, 0, false, "        ", kOpenError, kAll, 0},
        ScanCase{"SilentThenInstrument",
                 {2},
                 {1},
                 0,
                 true,
                 "   0005",
                 kNoData,
                 {"COM1:", "COM2:"},
                 2100 + 300},
        // A late answer costs a pass: the handshake is repeated on the same port.
        ScanCase{"LateOnCom2",
                 {2},
                 {},
                 1,
                 true,
                 "   0005",
                 kOpenError,
                 {"COM1:", "COM2:"},
                 100 + 1000 + 500 + 300},
        // A late answer in the last pass ends the scan found but without a serial.
        ScanCase{
            "LateInPassNine", {9}, {}, 1, true, "        ", kOpenError, kAll, 100 + 1000 + 500},
        ScanCase{"AllSilent",
                 {},
                 {1, 2, 3, 4, 5, 6, 7, 8, 9},
                 0,
                 false,
                 "        ",
                 kNoData,
                 kAll,
                 9 * 2100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Startup, ClosesAPortThatFailedBeforeOpeningTheNext) {
  PanelHarness h;
  h.ports.AddPort("COM1:");
  h.InstrumentOn(2);
  h.ports.AddPort("COM1:");
  // COM1 is silent: only COM2 answers.
  h.ports.OnWrite([](ScriptedPorts& p, const std::vector<std::uint8_t>& f) {
    if (f == std::vector<std::uint8_t>{'B', '\r'} && p.writes.back().port == "COM2:") {
      const std::uint8_t reply[] = {'N', 7};
      p.Reply(reply);
    }
  });
  ASSERT_TRUE(h.Init());
  EXPECT_EQ(h.ports.closed, std::vector<std::string>{"COM1:"});
  EXPECT_EQ(h.window.GetText(1119), "   0007");
}

// The serial byte may come after a pause; a byte that never came is not
// taken from what the buffer held after an earlier port's answer.
TEST(Startup, SerialNumberOnlyFromTheByteThatFollowsN) {
  const struct {
    const char* name;
    std::uint64_t serialDelay;  // 0: never sent
    std::string serialText;
  } cases[] = {
      {"after a pause", 300, "   0009"},
      {"never", 0, "        "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PanelHarness h;
    h.ports.AddPort("COM1:");
    h.ports.AddPort("COM2:");
    h.ports.OnWrite([&c](ScriptedPorts& p, const std::vector<std::uint8_t>&) {
      if (p.writes.back().port == "COM1:") {
        p.Reply("x7");  // no instrument: its bytes stay in the buffer
        return;
      }
      p.Reply("N");
      if (c.serialDelay != 0) p.Reply("\x09", c.serialDelay);
    });
    EXPECT_TRUE(h.Init());
    EXPECT_EQ(h.window.GetText(1119), c.serialText);
  }
}

struct ConfigFailure {
  const char* name;
  bool stateFails;
  std::string message;
};

class ConfigFails : public ::testing::TestWithParam<ConfigFailure> {};

TEST_P(ConfigFails, ShowsItsTextAndGoesOn) {
  PanelHarness h;
  PortSpec& bad = h.ports.AddPort("COM1:");
  bad.setStateFails = GetParam().stateFails;
  bad.setTimeoutsFails = !GetParam().stateFails;
  bad.lastError = 31;
  EXPECT_FALSE(h.Init());
  EXPECT_EQ(h.window.TextsOf(1053).front(), GetParam().message);
  EXPECT_EQ(h.ports.closed, std::vector<std::string>{"COM1:"});
  EXPECT_EQ(h.ports.writes.size(), 0u) << "no handshake on a port that failed configuration";
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ConfigFails,
    ::testing::Values(ConfigFailure{"State", true, "Ошибка инициализации СОМ порта, ошибка=31\n"},
                      ConfigFailure{"Timeouts", false, "Ошибка установки таймаута"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Closing, SendsClosingFrameThenRestoresAndCloses) {
  PanelHarness h;
  h.InstrumentOn(4);
  ASSERT_TRUE(h.Init());
  h.TakeFrames();
  const std::uint64_t t = h.clock.now;
  h.panel.DestroyWindow();
  EXPECT_EQ(h.TakeFrames(), std::vector<std::string>{"J\r"});
  EXPECT_EQ(h.ports.writes.back().at, t);
  EXPECT_EQ(h.clock.now - t, 100u);
  EXPECT_EQ(h.ports.timeouts.at("COM4:"), (CommTimeouts{1, 2, 3, 4, 5}));
  EXPECT_EQ(h.ports.closed, std::vector<std::string>{"COM4:"});
  EXPECT_EQ(h.state.rxBuffer[0], '&');
}

TEST(Closing, WithoutInstrumentTouchesNoPort) {
  PanelHarness h;
  h.ports.AddPort("COM1:");  // opens, never answers, is closed by the scan
  EXPECT_FALSE(h.Init());
  const std::size_t closes = h.ports.closed.size();
  const std::uint64_t t = h.clock.now;
  h.panel.DestroyWindow();
  EXPECT_EQ(h.ports.closed.size(), closes) << "a port already closed is not closed again";
  EXPECT_EQ(h.clock.now - t, 100u);
}

TEST(SystemMenu, AboutEntryOpensAboutBox) {
  struct Case {
    int command;
    bool opens;
  };
  const Case cases[] = {{16, true},  {31, true},      {17, true},
                        {32, false}, {0xF060, false}, {15, false}};
  for (const auto& c : cases) {
    PanelHarness h;
    h.InstrumentOn(1);
    ASSERT_TRUE(h.Init());
    h.window.Send({WM_SYSCOMMAND, c.command, 0, 0});
    EXPECT_EQ(h.window.modalTemplates.size(), c.opens ? 1u : 0u) << c.command;
    if (c.opens) {
      EXPECT_EQ(h.window.modalTemplates[0], 100);
    }
  }
}

TEST(Colours, FollowTheControlRules) {
  PanelHarness h;
  h.InstrumentOn(1);
  ASSERT_TRUE(h.Init());
  const ColorRef grey = Rgb(203, 203, 203), red = Rgb(128, 0, 0), black = 0;
  struct Case {
    int id;
    int kind;
    bool custom;
    bool ownBrush;
    ColorRef text;
  };
  const Case cases[] = {
      {-1, CTLCOLOR_STATIC, true, false, black}, {1053, CTLCOLOR_STATIC, true, true, red},
      {1092, CTLCOLOR_STATIC, true, true, red},  {1104, CTLCOLOR_EDIT, true, true, red},
      {1106, CTLCOLOR_EDIT, true, true, red},    {1001, CTLCOLOR_BTN, true, true, black},
      {1032, CTLCOLOR_BTN, true, true, black},   {1025, CTLCOLOR_BTN, true, true, black},
      {1041, CTLCOLOR_BTN, true, true, black},   {1069, CTLCOLOR_LISTBOX, false, false, 0},
      {1119, CTLCOLOR_EDIT, false, false, 0},
  };
  for (const auto& c : cases) {
    const CtlColors got = h.panel.OnCtlColor(c.id, c.kind);
    EXPECT_EQ(got.custom, c.custom) << c.id;
    EXPECT_EQ(got.ownBrush, c.ownBrush) << c.id;
    if (c.custom) {
      EXPECT_EQ(got.textBk, grey) << c.id;
      EXPECT_EQ(got.text, c.text) << c.id;
    }
    if (c.ownBrush) {
      EXPECT_EQ(got.brush, grey) << c.id;
    }
  }
  const CtlColors dialog = h.panel.OnCtlColor(102, CTLCOLOR_DLG);
  EXPECT_TRUE(dialog.ownBrush);
  EXPECT_EQ(dialog.brush, grey);
}

}  // namespace
}  // namespace kolvane::test
