// The record entry of the real panel's background menu, against kolvane-sim:
// below About, it records the simulator's results into the file the save
// dialog (stubbed) names, shows a check mark, and stops when chosen again.
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QMenu>
#include <QStandardPaths>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "panel/recording_entry.h"
#include "tests/gui/real_panel.h"

namespace kolvane::test {
namespace {

struct MenuSeen {
  QStringList texts;  // the entries, separators left out
  bool recordChecked = false;
};

// Opens the background menu of the panel and chooses the entry `text`.
MenuSeen ChooseFromBackgroundMenu(qt::QtDialogWindow& w, const QString& text) {
  MenuSeen seen;
  QTimer::singleShot(50, &w.Widget(), [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) continue;
      seen.texts << a->text();
      if (a->text() == text) {
        seen.recordChecked = a->isChecked();
        menu->setActiveAction(a);
      }
    }
    QTest::keyClick(menu, Qt::Key_Return);
  });
  const QPoint at(620, 548);
  QContextMenuEvent e(QContextMenuEvent::Mouse, at, w.Widget().mapToGlobal(at));
  QApplication::sendEvent(&w.Widget(), &e);
  return seen;
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(PanelRecordingGui, TheEntryBelowAboutRecordsTheSimulatorsResults) {
  SimProcess sim({}, 3);
  ASSERT_TRUE(sim.Ready());
  RealPanel p;
  record::PanelRecording recording;
  p.panel.SetRecording(&recording);
  const QString entry = QString::fromUtf8(record::kRecordMenuText.data());
  const std::string path = sim.Dir() + "/panel.csv";
  std::string suggested;
  MenuSeen first, second;
  std::size_t rowsWhenStopped = 0;

  RunPanel(
      p, [&](qt::QtDialogWindow& w) { return WaitForReading(w); },
      [&](qt::QtDialogWindow& w) {
        w.SetSaveFileNameProvider([&](const std::string& s) -> std::optional<std::string> {
          suggested = s;
          return path;
        });
        first = ChooseFromBackgroundMenu(w, entry);
        (void)QTest::qWaitFor([&] { return Lines(path).size() >= 4; }, 3000);
        second = ChooseFromBackgroundMenu(w, entry);
        rowsWhenStopped = Lines(path).size();
        QTest::qWait(300);
      });

  EXPECT_EQ(first.texts, (QStringList{"&About Kolvane...", entry}));
  EXPECT_FALSE(first.recordChecked);
  EXPECT_TRUE(second.recordChecked);
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  EXPECT_EQ(QString::fromStdString(suggested).left(documents.size() + 9), documents + "/kolvane-");
  const std::vector<std::string> lines = Lines(path);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.size(), rowsWhenStopped) << "no row after stopping";
  EXPECT_EQ(lines[0], "time,elapsed_s,mode,value,unit,status");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_NE(lines[i].find(",f,"), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].substr(lines[i].size() - 7), ",kHz,ok") << lines[i];
  }
}

}  // namespace
}  // namespace kolvane::test
