// The Qt dialog windows: geometry and accessibility from the templates, and
// the rule that only the user's actions reach the dialog.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QTimer>
#include <csignal>
#include <map>
#include <memory>
#include <string>

#include "platform/qt/desktop_host.h"
#include "resources/ids.h"
#include "tests/gui/gui_support.h"

namespace kolvane::test {
namespace {

using layout::Kind;

constexpr MessageTuple Clicked(int id) {
  return {WM_COMMAND, id, BN_CLICKED, 0};
}

TEST(DialogWindow, EveryControlAtItsPixelRectangleWithItsIdForAssistiveTechnology) {
  for (const layout::DialogTemplate& t : layout::Templates()) {
    SCOPED_TRACE(t.id);
    OpenDialog d(t.id);
    d.Open();
    QDialog& dialog = d.window.Widget();
    EXPECT_EQ(dialog.size(), QSize(layout::ToPixelsX(t.width), layout::ToPixelsY(t.height)));
    EXPECT_EQ(AccessibleText(&dialog, QAccessible::Description), QString::number(t.id));
    EXPECT_EQ(AccessibleText(&dialog, QAccessible::Name), QString::fromUtf8(t.caption));

    std::map<QString, int> described;  // what assistive technology can tell apart
    ASSERT_EQ(d.window.ControlWidgets().size(), t.controls.size());
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
      const layout::Control& c = t.controls[i];
      QWidget* w = d.window.ControlWidgets()[i];
      SCOPED_TRACE(std::to_string(c.id) + " " + std::string(c.caption));
      const layout::Rect px = layout::ToPixels(c.rect);
      EXPECT_EQ(w->geometry(), QRect(px.x, px.y, px.w, px.h));
      EXPECT_EQ(w->parentWidget(), &dialog);
      EXPECT_EQ(w->isVisible(), (c.styles & layout::style::kHidden) == 0);
      EXPECT_EQ(AccessibleText(w, QAccessible::Description), QString::number(c.id));
      EXPECT_EQ(AccessibleText(w, QAccessible::Name), QString::fromUtf8(c.caption));
      ++described[AccessibleText(w, QAccessible::Description)];
      if (c.id != -1) {
        EXPECT_EQ(d.window.ControlWidget(c.id), w);
      }
    }
    for (const auto& [description, count] : described) {
      if (description != "-1") {
        EXPECT_EQ(count, 1) << description.toStdString();
      }
    }
  }
}

TEST(DialogWindow, PanelClientAreaAndStartStates) {
  OpenDialog d(ids::kPanelDialog);
  d.Open();
  EXPECT_EQ(d.window.Widget().size(), QSize(626, 554));
  EXPECT_FALSE(d.window.IsControlEnabled(ids::kProgress));
  EXPECT_TRUE(d.window.IsControlEnabled(ids::kTimestamp1));
  // Radios and checks are buttons that stay down.
  for (const int id : {1001, 1016, 1066, 1073, 1095, 1025, 1050}) {
    auto* b = qobject_cast<QAbstractButton*>(d.window.ControlWidget(id));
    ASSERT_NE(b, nullptr) << id;
    EXPECT_TRUE(b->isCheckable()) << id;
  }
  // Panel lists are one entry high with their scroll bar always shown.
  auto* list = qobject_cast<QListWidget*>(d.window.ControlWidget(ids::kImpedance));
  ASSERT_NE(list, nullptr);
  d.window.ListAddString(ids::kImpedance, "50 Ом");
  d.window.ListAddString(ids::kImpedance, "1 МOм");
  EXPECT_EQ(list->visualItemRect(list->item(0)).height(), list->viewport()->height());
  EXPECT_TRUE(list->verticalScrollBar()->isVisible());
}

TEST(DialogWindow, ProgrammaticChangesDeliverNothing) {
  OpenDialog d(ids::kPanelDialog);
  d.Open();
  qt::QtDialogWindow& w = d.window;
  w.SetText(ids::kMessage, "Нет отклика от прибора      ");
  w.SetText(ids::kLevelText, " 8");
  w.ListAddString(ids::kImpedance, "50 Ом");
  w.ListAddString(ids::kImpedance, "1 МOм");
  w.ListSetCurSel(ids::kImpedance, 1);
  w.SetCheck(ids::kModeFrequency, 1);
  w.SetCheck(ids::kLowPassFilter, 1);
  w.SpinSetRange(ids::kLevelSpin, 0, 127);
  w.SpinSetPos(ids::kLevelSpin, 64);
  w.ProgressSetRange(ids::kProgress, 1, 10);
  w.ProgressSetPos(ids::kProgress, 10);
  w.EnableControl(ids::kTimestamp1, false);
  w.SetFont(ids::kReadingDisplay, FontSpec{34, 0, 400, 0x20, "Arial"});
  w.SetTimer(1, 60000);
  QTest::qWait(30);
  EXPECT_TRUE(d.dialog.messages.empty());

  EXPECT_EQ(w.GetText(ids::kMessage), "Нет отклика от прибора      ");
  EXPECT_EQ(AccessibleText(w.ControlWidget(ids::kMessage), QAccessible::Name),
            QString::fromUtf8("Нет отклика от прибора      "));
  EXPECT_EQ(w.GetText(ids::kLevelText), " 8");
  EXPECT_EQ(w.ListGetCurSel(ids::kImpedance), 1);
  EXPECT_EQ(AccessibleText(w.ControlWidget(ids::kImpedance), QAccessible::Name),
            QString::fromUtf8("1 МOм"));
  EXPECT_EQ(w.GetCheck(ids::kModeFrequency), 1);
  EXPECT_EQ(w.GetCheck(ids::kModePeriod), 0);
  EXPECT_FALSE(w.IsControlEnabled(ids::kTimestamp1));
  const QFont reading = w.ControlWidget(ids::kReadingDisplay)->font();
  EXPECT_EQ(reading.family(), "Liberation Sans");
  EXPECT_EQ(reading.pixelSize(), 30);  // a 34-pixel cell of Arial's proportions
}

TEST(DialogWindow, OutOfRangeValuesAreClampedOrClearTheSelection) {
  OpenDialog d(ids::kPanelDialog);
  d.Open();
  qt::QtDialogWindow& w = d.window;
  auto* bar = qobject_cast<QProgressBar*>(w.ControlWidget(ids::kProgress));
  ASSERT_NE(bar, nullptr);
  w.ProgressSetRange(ids::kProgress, 1, 10);
  w.SpinSetRange(ids::kLevelSpin, 0, 127);
  w.ListAddString(ids::kImpedance, "50 Ом");
  w.ListAddString(ids::kImpedance, "1 МOм");
  struct Case {
    int value;
    int progress;  // shown position
    int spin;      // kept position
  };
  const Case kCases[] = {{0, 1, 0}, {-3, 1, 0}, {5, 5, 5}, {11, 10, 11}, {200, 10, 127}};
  for (const Case& c : kCases) {
    w.ProgressSetPos(ids::kProgress, c.value);
    w.SpinSetPos(ids::kLevelSpin, c.value);
    EXPECT_EQ(bar->value(), c.progress) << c.value;
    EXPECT_EQ(w.SpinGetPos(ids::kLevelSpin), c.spin) << c.value;
  }
  // The low end of the range shows an empty bar.
  w.ProgressSetPos(ids::kProgress, 0);
  EXPECT_EQ(bar->value(), bar->minimum());

  for (const int index : {2, -1, 9}) {
    w.ListSetCurSel(ids::kImpedance, 0);
    w.ListSetCurSel(ids::kImpedance, index);
    EXPECT_EQ(w.ListGetCurSel(ids::kImpedance), -1) << index;
    EXPECT_EQ(AccessibleText(w.ControlWidget(ids::kImpedance), QAccessible::Name), QString());
  }
  EXPECT_TRUE(d.dialog.messages.empty());
}

TEST(DialogWindow, ClickingButtonsNotifiesAsAutomaticButtonsDo) {
  struct Case {
    const char* name;
    std::vector<int> clicks;
    std::vector<MessageTuple> messages;
    std::map<int, int> checks;  // after the clicks
  };
  const Case kCases[] = {
      {"radio takes the group", {1019}, {Clicked(1019)}, {{1016, 0}, {1019, 1}, {1113, 0}}},
      {"radio clicked twice stays checked",
       {1016, 1016},
       {Clicked(1016), Clicked(1016)},
       {{1016, 1}}},
      {"groups are separate",
       {1008, 1014},
       {Clicked(1008), Clicked(1014)},
       {{1002, 1}, {1006, 0}, {1008, 1}, {1013, 0}, {1014, 1}}},
      {"check toggles", {1073}, {Clicked(1073)}, {{1073, 1}}},
      {"check toggles back", {1073, 1073}, {Clicked(1073), Clicked(1073)}, {{1073, 0}}},
      {"push button", {1024}, {Clicked(1024)}, {{1024, 0}}},
      {"disabled radio", {1001}, {}, {{1001, 0}, {1002, 1}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    OpenDialog d(ids::kPanelDialog);
    d.Open();
    for (const int id : {1002, 1006, 1013, 1016, 1066}) d.window.SetCheck(id, 1);
    for (int id = 1001; id <= 1005; ++id) d.window.EnableControl(id, false);
    for (const int id : c.clicks) ClickAt(d.window.Widget(), d.Centre(id));
    EXPECT_EQ(d.dialog.messages, c.messages);
    for (const auto& [id, state] : c.checks) EXPECT_EQ(d.window.GetCheck(id), state) << id;
  }
}

TEST(DialogWindow, ListScrollArrowsFlipTheEntryAndAClickSelectsIt) {
  OpenDialog d(ids::kPanelDialog);
  d.Open();
  qt::QtDialogWindow& w = d.window;
  w.ListAddString(ids::kCoupling, " =~ ");
  w.ListAddString(ids::kCoupling, " ~ ");
  w.ListSetCurSel(ids::kCoupling, 0);
  auto* list = qobject_cast<QListWidget*>(w.ControlWidget(ids::kCoupling));
  ASSERT_NE(list, nullptr);
  const QPoint centre = d.Centre(ids::kCoupling);
  const auto visibleRow = [&] { return list->indexAt(list->viewport()->rect().center()).row(); };

  // The lower arrow of the scroll bar shows the other entry, selects nothing.
  QScrollBar* bar = list->verticalScrollBar();
  const QPoint lowerArrow = bar->mapTo(&w.Widget(), QPoint(bar->width() / 2, bar->height() - 3));
  ClickAt(w.Widget(), lowerArrow);
  EXPECT_EQ(visibleRow(), 1);
  EXPECT_EQ(w.ListGetCurSel(ids::kCoupling), 0);
  EXPECT_TRUE(d.dialog.messages.empty());

  // Clicking the entry shown selects it.
  ClickAt(w.Widget(), centre);
  EXPECT_EQ(w.ListGetCurSel(ids::kCoupling), 1);
  EXPECT_EQ(AccessibleText(list, QAccessible::Name), QString::fromUtf8(" ~ "));
  const MessageTuple changed{WM_COMMAND, ids::kCoupling, LBN_SELCHANGE, 0};
  EXPECT_EQ(d.dialog.messages, std::vector<MessageTuple>{changed});

  // The keyboard moves the selection and tells it; at the end it stays quiet.
  d.dialog.messages.clear();
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(w.ListGetCurSel(ids::kCoupling), 0);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(d.dialog.messages, std::vector<MessageTuple>{changed});

  // A selection made by the program brings its entry into view.
  w.ListSetCurSel(ids::kCoupling, 1);
  EXPECT_EQ(visibleRow(), 1);
}

TEST(DialogWindow, SortedListsKeepTheirEntriesInOrder) {
  OpenDialog d(ids::kCountDialog);
  d.Open();
  d.window.ListAddString(ids::kDialogList, "Счет по периоду");
  d.window.ListAddString(ids::kDialogList, "Счет по длительности");
  auto* list = qobject_cast<QListWidget*>(d.window.ControlWidget(ids::kDialogList));
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), QString::fromUtf8("Счет по длительности"));

  OpenDialog ratio(ids::kRatioDialog);
  ratio.Open();
  for (const char* e : {"B/C", "A/C"}) ratio.window.ListAddString(ids::kDialogList, e);
  list = qobject_cast<QListWidget*>(ratio.window.ControlWidget(ids::kDialogList));
  EXPECT_EQ(list->item(0)->text(), "B/C");
}

TEST(DialogWindow, SpinArrowClickStepsOnceThenEndsTheScroll) {
  struct Case {
    const char* name;
    bool setRange;
    int lower, upper, start;
    bool up;
    int expected;
  };
  const Case kCases[] = {
      {"up towards the upper bound", true, 0, 127, 64, true, 65},
      {"down", true, 0, 127, 64, false, 63},
      {"at the upper bound", true, 0, 127, 127, true, 127},
      {"at the lower bound", true, 0, 255, 0, false, 0},
      {"the control's own range runs from 100 down to 0", false, 0, 0, 50, true, 49},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    OpenDialog d(ids::kPanelDialog);
    d.Open();
    if (c.setRange) d.window.SpinSetRange(ids::kLevelSpin, c.lower, c.upper);
    d.window.SpinSetPos(ids::kLevelSpin, c.start);
    const layout::Rect r =
        layout::ToPixels(layout::FindControl(d.window.Template(), ids::kLevelSpin)->rect);
    ClickAt(d.window.Widget(), QPoint(r.x + r.w / 2, r.y + (c.up ? r.h / 4 : r.h * 3 / 4)));
    EXPECT_EQ(d.window.SpinGetPos(ids::kLevelSpin), c.expected);
    const std::vector<MessageTuple> expected{
        {WM_VSCROLL, ids::kLevelSpin, SB_THUMBPOSITION, c.expected},
        {WM_VSCROLL, ids::kLevelSpin, SB_ENDSCROLL, c.expected}};
    EXPECT_EQ(d.dialog.messages, expected);
  }
}

TEST(DialogWindow, ArrowKeysInTheBuddyStepTheSpin) {
  OpenDialog d(ids::kPanelDialog);
  d.Open();
  d.window.SpinSetRange(ids::kCalibrationSpin, 0, 255);
  d.window.SpinSetPos(ids::kCalibrationSpin, 127);
  QWidget* buddy = d.window.ControlWidget(ids::kCalibrationText);
  buddy->setFocus();
  QTest::keyClick(buddy, Qt::Key_Down);
  EXPECT_EQ(d.window.SpinGetPos(ids::kCalibrationSpin), 126);
  ASSERT_EQ(d.dialog.messages.size(), 2u);
  EXPECT_EQ(std::get<1>(d.dialog.messages[0]), ids::kCalibrationSpin);
  // Other keys type into the edit and notify nothing.
  d.dialog.messages.clear();
  QTest::keyClicks(buddy, "12");
  EXPECT_TRUE(d.dialog.messages.empty());
  EXPECT_EQ(AccessibleText(buddy, QAccessible::Name), "12");
}

TEST(DialogWindow, EnterAndEscapeAsDialogCommands) {
  struct Case {
    const char* name;
    int dialog;
    int focus;  // control with the focus, 0 for none
    Qt::Key key;
    int command;
  };
  const Case kCases[] = {
      {"escape cancels", ids::kPanelDialog, 0, Qt::Key_Escape, IDCANCEL},
      {"enter on a radio is OK", ids::kPanelDialog, 1016, Qt::Key_Return, IDOK},
      {"enter on a push button presses it", ids::kPanelDialog, 1024, Qt::Key_Return, 1024},
      {"enter in a mode dialog is its default button", ids::kCountDialog, 1069, Qt::Key_Enter, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    OpenDialog d(c.dialog);
    d.Open();
    QWidget* target = &d.window.Widget();
    if (c.focus != 0) {
      target = d.window.ControlWidget(c.focus);
      target->setFocus();
    }
    QTest::keyClick(target, c.key);
    ASSERT_FALSE(d.dialog.messages.empty());
    EXPECT_EQ(d.dialog.messages.front(), Clicked(c.command));
    // OK and Cancel end the dialog through its own handling.
    EXPECT_EQ(d.window.Ended(), c.command == IDOK || c.command == IDCANCEL);
  }
}

TEST(DialogWindow, ModalDialogsEndThroughTheirDialog) {
  struct Case {
    const char* name;
    std::function<void(QDialog&)> act;
    int result;
  };
  const auto button = [](QDialog& dlg, const char* id) {
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
      if (w->accessibleDescription() == id) return w;
    }
    return static_cast<QWidget*>(nullptr);
  };
  const Case kCases[] = {
      {"OK button", [&](QDialog& dlg) { QTest::mouseClick(button(dlg, "1"), Qt::LeftButton); },
       IDOK},
      {"Escape", [](QDialog& dlg) { QTest::keyClick(&dlg, Qt::Key_Escape); }, IDCANCEL},
      {"close box", [](QDialog& dlg) { dlg.close(); }, IDCANCEL},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    OpenDialog panel(ids::kPanelDialog);
    panel.Open();
    RecordingDialog count(ids::kCountDialog);
    // The modal window is gone when RunModal returns: read it while it runs.
    QString seen;
    QTimer::singleShot(0, &panel.window.Widget(), [&] {
      auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (modal == nullptr) return;
      seen = modal->accessibleDescription();
      c.act(*modal);
    });
    EXPECT_EQ(panel.window.RunModal(count), c.result);
    EXPECT_EQ(seen, "148");
    EXPECT_FALSE(count.IsAttached());
    EXPECT_EQ(count.messages, std::vector<MessageTuple>{Clicked(c.result)});
  }
}

TEST(DialogWindow, ModalDialogOverItsOpenerWithTheTemplateCaption) {
  OpenDialog panel(ids::kPanelDialog);
  panel.Open();
  RecordingDialog ratio(ids::kRatioDialog);
  QString title;
  QWidget* parent = nullptr;
  bool closable = true;
  QTimer::singleShot(0, &panel.window.Widget(), [&] {
    QWidget* modal = QApplication::activeModalWidget();
    title = modal->windowTitle();
    parent = modal->parentWidget();
    closable = modal->windowFlags().testFlag(Qt::WindowCloseButtonHint);
    ratio.EndDialog(IDOK);
  });
  EXPECT_EQ(panel.window.RunModal(ratio), IDOK);
  EXPECT_EQ(title, QString::fromUtf8("Отношение"));
  EXPECT_EQ(parent, &panel.window.Widget());
  EXPECT_FALSE(closable);  // the mode dialogs have no system menu

  // A dialog that ends itself while it starts is never shown.
  RecordingDialog quick(ids::kDurationDialog);
  quick.onInit = [](RecordingDialog& self) { self.EndDialog(IDCANCEL); };
  EXPECT_EQ(panel.window.RunModal(quick), IDCANCEL);
  RecordingDialog unknown(777);
  EXPECT_EQ(panel.window.RunModal(unknown), -1);
}

TEST(DialogWindow, TimerTicksUntilKilledAndMayRestartItselfFromATick) {
  OpenDialog d(ids::kPanelDialog);
  int ticks = 0;
  d.dialog.onMessage = [&](const Message& m) {
    if (m.message != WM_TIMER) return;
    ++ticks;
    // As the poll cycle does: kill on entry, start again on exit.
    d.window.KillTimer(1);
    d.window.SetTimer(1, 5);
  };
  d.Open();
  EXPECT_EQ(d.window.SetTimer(1, 5), 1u);
  EXPECT_EQ(d.window.SetTimer(1, 5), 1u);  // replaces, does not add
  EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 2000));
  for (const MessageTuple& m : d.dialog.messages) {
    EXPECT_EQ(m, MessageTuple(WM_TIMER, 1, 0, 0));
  }
  d.window.KillTimer(1);
  const int stopped = ticks;
  QTest::qWait(40);
  EXPECT_EQ(ticks, stopped);
}

TEST(DialogWindow, ControlColoursAskedByKindAndApplied) {
  const QColor grey(203, 203, 203), darkRed(128, 0, 0);
  std::map<int, int> kinds;
  OpenDialog d(ids::kPanelDialog);
  d.dialog.colours = [&](int id, int kind) {
    if (id != -1) kinds[id] = kind;
    CtlColors c;
    if (kind == CTLCOLOR_DLG) return CtlColors{true, true, Rgb(203, 203, 203), 0, 0};
    if (id == ids::kMessage || id == ids::kLevelText || id == ids::kModeFrequency) {
      c = CtlColors{true, true, Rgb(203, 203, 203), Rgb(203, 203, 203), Rgb(128, 0, 0)};
    }
    return c;
  };
  d.Open();
  const std::map<int, int> expectedKinds{{0, CTLCOLOR_DLG},
                                         {ids::kMessage, CTLCOLOR_STATIC},
                                         {ids::kLevelText, CTLCOLOR_EDIT},
                                         {ids::kImpedance, CTLCOLOR_LISTBOX},
                                         {ids::kModeFrequency, CTLCOLOR_BTN},
                                         {ids::kLevelSpin, CTLCOLOR_BTN},
                                         {ids::kLevelReset, CTLCOLOR_BTN},
                                         {ids::kReadingDisplay, CTLCOLOR_STATIC}};
  for (const auto& [id, kind] : expectedKinds) EXPECT_EQ(kinds[id], kind) << id;

  EXPECT_EQ(d.window.Widget().palette().color(QPalette::Window), grey);
  const QPalette message = d.window.ControlWidget(ids::kMessage)->palette();
  EXPECT_EQ(message.color(QPalette::WindowText), darkRed);
  EXPECT_EQ(message.color(QPalette::Window), grey);
  EXPECT_TRUE(d.window.ControlWidget(ids::kMessage)->autoFillBackground());
  const QPalette level = d.window.ControlWidget(ids::kLevelText)->palette();
  EXPECT_EQ(level.color(QPalette::Text), darkRed);
  EXPECT_EQ(level.color(QPalette::Base), grey);
  // A button face keeps the system's colours; only the area behind it takes the brush.
  const QPalette radio = d.window.ControlWidget(ids::kModeFrequency)->palette();
  EXPECT_EQ(radio.color(QPalette::ButtonText), QApplication::palette().color(QPalette::ButtonText));
  EXPECT_EQ(radio.color(QPalette::Button), QApplication::palette().color(QPalette::Button));
  // Unanswered controls keep the framework's colours.
  EXPECT_EQ(d.window.ControlWidget(ids::kSerialNumber)->palette().color(QPalette::Base),
            QApplication::palette().color(QPalette::Base));
  EXPECT_NE(QApplication::palette().color(QPalette::Base), grey);
}

TEST(DialogWindow, SystemMenuEntriesOnTheBackgroundContextMenu) {
  struct Case {
    const char* name;
    int over;  // control under the pointer, 0 for the background
    std::vector<MessageTuple> messages;
  };
  const Case kCases[] = {
      {"background", 0, {{WM_SYSCOMMAND, ids::kAboutCommand, 0, 0}}},
      {"a label is background too", -1, {{WM_SYSCOMMAND, ids::kAboutCommand, 0, 0}}},
      {"not over a button", ids::kConfigButton, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    OpenDialog d(ids::kPanelDialog);
    d.Open();
    d.window.AppendSystemMenuSeparator();
    d.window.AppendSystemMenuItem(ids::kAboutCommand, "&About Kolvane...");
    QPoint at(620, 548);
    if (c.over == -1) at = QPoint(230, 380);  // inside the "Сообщения" group, off its field
    if (c.over > 0) at = d.Centre(c.over);
    QString chosen;
    QTimer::singleShot(50, &d.window.Widget(), [&] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        chosen = menu->actions().last()->text();
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
      }
    });
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, d.window.Widget().mapToGlobal(at));
    QApplication::sendEvent(&d.window.Widget(), &e);
    QTest::qWait(80);
    EXPECT_EQ(d.dialog.messages, c.messages);
    if (!c.messages.empty()) {
      EXPECT_EQ(chosen, "&About Kolvane...");
    }
  }
}

TEST(DesktopHost, PanelWindowAndTheProcessSignals) {
  struct sigaction before {};
  sigaction(SIGUSR1, nullptr, &before);
  auto host = std::make_unique<qt::QtDesktopHost>();
  RecordingDialog panel(ids::kPanelDialog);
  panel.onInit = [](RecordingDialog& self) { self.Wnd().SetIcon(ids::kPanelIcon, true); };
  QDialog* window = nullptr;
  host->onShown = [&](qt::QtDialogWindow& w) {
    window = &w.Widget();
    std::raise(SIGUSR1);
    std::raise(SIGUSR2);
    QTimer::singleShot(0, window, [&] {
      (void)QTest::qWaitFor([&] { return panel.messages.size() >= 2; }, 2000);
      EXPECT_TRUE(window->windowTitle().isEmpty());
      EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
      EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
      EXPECT_TRUE(window->isWindow());
      EXPECT_EQ(window->parentWidget(), nullptr);
      EXPECT_FALSE(window->windowIcon().isNull());
      EXPECT_EQ(window->size(), QSize(626, 554));
      window->close();
    });
  };
  EXPECT_EQ(panel.DoModal(*host), IDCANCEL);
  const std::vector<MessageTuple> expected{
      {WM_USER + 110, 0, 0, 0}, {WM_USER + 100, 0, 0, 0}, Clicked(IDCANCEL)};
  EXPECT_EQ(panel.messages, expected);
  // The handlers stay for the host's life, the closing sequence included.
  host.reset();
  struct sigaction after {};
  sigaction(SIGUSR1, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace kolvane::test
