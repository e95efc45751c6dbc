// Each step of the measurement cycle repaints what it changes and nothing
// beneath or beside it: the steps come several times a second, and every
// widget a repaint reaches is drawn again.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QSet>
#include <functional>
#include <set>
#include <string>

#include "resources/ids.h"
#include "tests/gui/gui_support.h"

namespace kolvane::test {
namespace {

// "QProgressBar 1000": the class and control id of each widget.
std::set<std::string> Names(const QSet<QObject*>& widgets) {
  std::set<std::string> names;
  for (QObject* o : widgets) {
    names.insert(std::string(o->metaObject()->className()) + " " +
                 static_cast<QWidget*>(o)->accessibleDescription().toStdString());
  }
  return names;
}

class PaintLog : public QObject {
 public:
  QSet<QObject*> painted;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint && o->isWidgetType()) painted.insert(o);
    return false;
  }
};

TEST(Repaint, EachCycleStepRepaintsOnlyTheControlsItChanges) {
  OpenDialog d(ids::kPanelDialog);
  // The panel's grey brush behind every control and the dialog.
  d.dialog.colours = [](int, int) {
    return CtlColors{true, true, Rgb(203, 203, 203), Rgb(203, 203, 203), Rgb(128, 0, 0)};
  };
  d.Open();
  qt::QtDialogWindow& w = d.window;
  QObject* bar = w.ControlWidget(ids::kProgress);
  QObject* reading = w.ControlWidget(ids::kReadingDisplay);
  w.ProgressSetRange(ids::kProgress, 0, 10);
  w.ProgressSetPos(ids::kProgress, 10);
  QCoreApplication::processEvents();

  PaintLog log;
  qApp->installEventFilter(&log);
  struct Step {
    const char* what;
    std::function<void()> run;
    QSet<QObject*> painted;
  };
  const Step kSteps[] = {
      {"the bar empties before the poll", [&] { w.ProgressSetPos(ids::kProgress, 0); }, {bar}},
      {"a reading and the full bar",
       [&] {
         w.SetText(ids::kReadingDisplay, " 12.5 kHz");
         w.ProgressSetPos(ids::kProgress, 10);
       },
       {bar, reading}},
      {"the same reading set again", [&] { w.SetText(ids::kReadingDisplay, " 12.5 kHz"); }, {}},
      // The bar's empty moment inside one tick never reaches the screen.
      {"a tick that empties the bar and shows the next reading",
       [&] {
         w.ProgressSetPos(ids::kProgress, 0);
         w.SetText(ids::kReadingDisplay, " 12.6 kHz");
         w.ProgressSetPos(ids::kProgress, 10);
       },
       {reading}},
  };
  for (const Step& s : kSteps) {
    SCOPED_TRACE(s.what);
    log.painted.clear();
    s.run();
    // The bar asks for its repaint one pass of the loop later.
    for (int pass = 0; pass < 2; ++pass) QCoreApplication::processEvents();
    EXPECT_EQ(Names(log.painted), Names(s.painted));
  }
  qApp->removeEventFilter(&log);
}

}  // namespace
}  // namespace kolvane::test
