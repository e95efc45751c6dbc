// The real panel on the Qt front end, wired to the host's ports and clock,
// and the helpers its tests against kolvane-sim share: clicks on controls
// found by id, waits that keep the event loop running, and the frames the
// simulator logged.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "panel/panel_dlg.h"
#include "panel/panel_state.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/system_deps.h"
#include "platform/qt/desktop_host.h"
#include "resources/ids.h"
#include "tests/gui/gui_support.h"
#include "tests/integration/sim_process.h"

namespace kolvane::test {

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

// The frames of the simulator's "RX <ms> <frame>" lines, in order. A frame
// may hold a blank (a raw level byte), so it is everything after the time.
inline std::vector<std::string> ReceivedFrames(const SimProcess& sim) {
  std::vector<std::string> frames;
  for (const std::string& line : sim.Log()) {
    if (line.rfind("RX ", 0) != 0) continue;
    const std::size_t afterTime = line.find(' ', 3);
    if (afterTime != std::string::npos) frames.push_back(line.substr(afterTime + 1));
  }
  return frames;
}

// A control of any open dialog window, by the id it carries for assistive
// technology; nullptr, and a failure, when the window has none.
inline QWidget* ControlIn(QWidget& window, int id) {
  const QString wanted = QString::number(id);
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (w->parentWidget() == &window && w->accessibleDescription() == wanted) return w;
  }
  ADD_FAILURE() << "no control " << id << " in window "
                << window.accessibleDescription().toStdString();
  return nullptr;
}

// A click on the middle of a control, aimed at that point of its window.
inline void ClickControl(QWidget& window, int id) {
  if (QWidget* w = ControlIn(window, id)) ClickAt(window, w->mapTo(&window, w->rect().center()));
}

// The upper or lower arrow of a list's scroll bar, or of a spin.
inline void ClickArrow(QWidget& window, int id, bool up) {
  QWidget* control = ControlIn(window, id);
  if (control == nullptr) return;
  QWidget* arrows = control;
  if (auto* list = qobject_cast<QListWidget*>(control)) arrows = list->verticalScrollBar();
  const int y = up ? 3 : arrows->height() - 4;
  ClickAt(window, arrows->mapTo(&window, QPoint(arrows->width() / 2, y)));
}

// A list entry, where the list shows it; scrolled into view first, as a
// user would, when it is out of sight.
inline void ClickListEntry(QWidget& window, int id, int row) {
  auto* list = qobject_cast<QListWidget*>(ControlIn(window, id));
  if (list == nullptr || list->item(row) == nullptr) return;
  if (!list->viewport()->rect().contains(list->visualItemRect(list->item(row)).center())) {
    list->scrollToItem(list->item(row));
  }
  const QRect entry = list->visualItemRect(list->item(row));
  ClickAt(window, list->viewport()->mapTo(&window, entry.center()));
}

// The modal dialog open over the panel, while it runs; never keep it.
inline QDialog* ModalDialog() {
  return qobject_cast<QDialog*>(QApplication::activeModalWidget());
}

// Waits, serving the event loop and so the panel's poll timer, until the
// reading display shows a reading; the first one follows the readback.
inline bool WaitForReading(qt::QtDialogWindow& w, int timeoutMs = 2000) {
  return QTest::qWaitFor(
      [&] { return w.GetText(ids::kReadingDisplay).find("kHz") != std::string::npos; }, timeoutMs);
}

// Waits, serving the event loop, until the panel has applied the
// instrument's state; channel A is the simulator's own.
inline bool WaitForReadback(const RealPanel& p, int timeoutMs = 2000) {
  return QTest::qWaitFor([&] { return p.state.activeChannel == 1; }, timeoutMs);
}

// Shows the panel, waits until `ready` says it may go on, runs `script`,
// then closes the window; returns what the panel's modal run returned.
inline int RunPanel(RealPanel& p, const std::function<bool(qt::QtDialogWindow&)>& ready,
                    const std::function<void(qt::QtDialogWindow&)>& script) {
  p.host.onShown = [&](qt::QtDialogWindow& w) {
    QTimer::singleShot(0, &w.Widget(), [&] {
      if (ready(w)) {
        script(w);
      } else {
        ADD_FAILURE() << "the panel never got ready";
      }
      w.Widget().close();
    });
  };
  return p.panel.DoModal(p.host);
}

}  // namespace kolvane::test
