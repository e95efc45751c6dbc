// The real panel on the Qt front end against kolvane-sim on a
// pseudo-terminal: it finds the instrument, shows its serial number in its
// colours, and closes the link when the window closes.
#include <gtest/gtest.h>

#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "tests/gui/real_panel.h"

namespace kolvane::test {
namespace {

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
  ASSERT_TRUE(sim.WaitForLog(R"(J\x0D)", 1000));
  const std::vector<std::string> received = ReceivedFrames(sim);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front(), "B\\x0D");
  EXPECT_EQ(received.back(), "J\\x0D");
  EXPECT_EQ(std::count(received.begin(), received.end(), "J\\x0D"), 1);
}

}  // namespace
}  // namespace kolvane::test
