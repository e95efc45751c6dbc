// The real panel on the Qt front end against kolvane-sim on a
// pseudo-terminal: it finds the instrument, shows its serial number in its
// colours, and closes the link when the window closes.
#include <gtest/gtest.h>

#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <string>

#include "panel/panel_dlg.h"
#include "panel/panel_state.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/system_deps.h"
#include "platform/qt/desktop_host.h"
#include "resources/ids.h"
#include "tests/gui/gui_support.h"
#include "tests/integration/sim_process.h"

namespace kolvane::test {
namespace {

struct RealPanel {
  std::unique_ptr<ISerialPorts> ports = MakeSerialPorts();
  SystemClock clock;
  std::unique_ptr<IBridgeLibrary> bridge = MakeBridgeLibrary();
  std::unique_ptr<IRegistry> registry = MakeRegistry();
  std::unique_ptr<ISystemVersion> version = MakeSystemVersion();
  PanelState state;
  CPanelDlg panel{state, PanelDeps{*ports, clock, *bridge, *registry, *version}};
  qt::QtDesktopHost host;
};

TEST(PanelWithSimulator, ShowsTheSerialNumberAndClosesTheLink) {
  SimProcess sim({"--serial", "42"}, 3);
  ASSERT_TRUE(sim.Ready());
  RealPanel p;

  std::string serial;
  QString serialName;
  bool saved = false;
  QColor background, messageText, readingText, levelText, levelBase;
  const QString shot = QStringLiteral(KOLVANE_BUILD_DIR "/gui-panel.png");
  p.host.onShown = [&](qt::QtDialogWindow& w) {
    // A few poll ticks first, so the picture shows a reading.
    QTimer::singleShot(600, &w.Widget(), [&] {
      serial = w.GetText(ids::kSerialNumber);
      serialName = AccessibleText(w.ControlWidget(ids::kSerialNumber), QAccessible::Name);
      background = w.Widget().palette().color(QPalette::Window);
      messageText = w.ControlWidget(ids::kMessage)->palette().color(QPalette::WindowText);
      readingText = w.ControlWidget(ids::kReadingDisplay)->palette().color(QPalette::WindowText);
      levelText = w.ControlWidget(ids::kLevelText)->palette().color(QPalette::Text);
      levelBase = w.ControlWidget(ids::kLevelText)->palette().color(QPalette::Base);
      saved = w.Widget().grab().save(shot, "PNG");
      w.Widget().close();
    });
  };
  EXPECT_EQ(p.panel.DoModal(p.host), IDCANCEL);

  EXPECT_EQ(serial, "   00042");
  EXPECT_EQ(serialName, QStringLiteral("   00042"));
  EXPECT_TRUE(saved) << shot.toStdString();
  const QColor grey(203, 203, 203), darkRed(128, 0, 0);
  EXPECT_EQ(background, grey);
  EXPECT_EQ(messageText, darkRed);
  EXPECT_EQ(readingText, darkRed);
  EXPECT_EQ(levelText, darkRed);
  EXPECT_EQ(levelBase, grey);

  // The handshake first; the closing frame last, after the window closed.
  ASSERT_TRUE(sim.WaitForLog("RX", 1000));
  std::vector<std::string> received;
  for (const std::string& line : sim.Log()) {
    if (line.rfind("RX ", 0) == 0) received.push_back(line.substr(line.rfind(' ') + 1));
  }
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front(), "B\\x0D");
  EXPECT_EQ(received.back(), "J\\x0D");
  EXPECT_EQ(std::count(received.begin(), received.end(), "J\\x0D"), 1);
}

}  // namespace
}  // namespace kolvane::test
