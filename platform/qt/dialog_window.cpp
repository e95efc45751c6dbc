#include "platform/qt/dialog_window.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>

#include "platform/qt/artwork.h"
#include "platform/qt/fonts.h"
#include "platform/qt/text.h"
#include "platform/qt/widgets.h"
#include "resources/ids.h"

namespace kolvane::qt {

using layout::Kind;
namespace st = layout::style;

QWidget* QtDialogWindow::Find(int id) const {
  const auto it = index_.find(id);
  return it == index_.end() ? nullptr : widgets_[it->second];
}

const layout::Control* QtDialogWindow::Def(int id) const {
  const auto it = index_.find(id);
  return it == index_.end() ? nullptr : &template_.controls[it->second];
}

QWidget* QtDialogWindow::ControlWidget(int id) const {
  return Find(id);
}

void QtDialogWindow::SetText(int id, std::string_view text) {
  QWidget* w = Find(id);
  if (w == nullptr || Def(id)->kind == Kind::kPicture) return;
  const QString t = FromUtf8(text);
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    e->setText(t);
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    // The panel sets each reading twice; the same text again changes nothing
    // on screen and needs no repaint.
    if (l->text() != t) l->setText(t);
  } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(t);
  } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(t);
  } else {
    return;
  }
  // Qt announces every name set to assistive technology, changed or not.
  if (w->accessibleName() != t) w->setAccessibleName(t);
}

std::string QtDialogWindow::GetText(int id) const {
  const QWidget* w = Find(id);
  QString t;
  if (const auto* e = qobject_cast<const QLineEdit*>(w)) {
    t = e->text();
  } else if (const auto* l = qobject_cast<const QLabel*>(w)) {
    t = l->text();
  } else if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
    t = b->text();
  } else if (const auto* g = qobject_cast<const QGroupBox*>(w)) {
    t = g->title();
  }
  return t.toStdString();
}

void QtDialogWindow::ListAddString(int id, std::string_view text) {
  auto* l = dynamic_cast<ListBox*>(Find(id));
  if (l == nullptr) return;
  const QString t = FromUtf8(text);
  int row = l->count();
  if ((Def(id)->styles & st::kSorted) != 0) {
    row = 0;
    while (row < l->count() &&
           QString::compare(l->item(row)->text(), t, Qt::CaseInsensitive) <= 0) {
      ++row;
    }
  }
  l->insertItem(row, t);
  l->FitEntries();
}

void QtDialogWindow::ListSetCurSel(int id, int index) {
  auto* l = dynamic_cast<ListBox*>(Find(id));
  if (l == nullptr) return;
  if (index >= 0 && index < l->count()) {
    l->setCurrentRow(index);
    l->scrollToItem(l->item(index), QAbstractItemView::PositionAtTop);
    l->setAccessibleName(l->item(index)->text());
  } else {
    l->setCurrentRow(-1);
    l->clearSelection();
    l->setAccessibleName(QString());
  }
}

int QtDialogWindow::ListGetCurSel(int id) const {
  const auto* l = dynamic_cast<const ListBox*>(Find(id));
  return l == nullptr ? -1 : l->Selected();
}

void QtDialogWindow::EnableControl(int id, bool enable) {
  if (QWidget* w = Find(id)) w->setEnabled(enable);
}

bool QtDialogWindow::IsControlEnabled(int id) const {
  const QWidget* w = Find(id);
  return w != nullptr && w->isEnabledTo(widget_);
}

int QtDialogWindow::GetCheck(int id) const {
  const auto* b = qobject_cast<const QAbstractButton*>(Find(id));
  return b != nullptr && b->isChecked() ? 1 : 0;
}

void QtDialogWindow::SetCheck(int id, int state) {
  auto* b = qobject_cast<QAbstractButton*>(Find(id));
  if (b != nullptr && b->isCheckable()) b->setChecked(state != 0);
}

void QtDialogWindow::SpinSetRange(int id, int lower, int upper) {
  const auto it = spins_.find(id);
  if (it == spins_.end()) return;
  it->second.lower = lower;
  it->second.upper = upper;
}

void QtDialogWindow::SpinSetPos(int id, int pos) {
  const auto it = spins_.find(id);
  if (it == spins_.end()) return;
  Spin& s = it->second;
  s.pos = std::clamp(pos, std::min(s.lower, s.upper), std::max(s.lower, s.upper));
}

int QtDialogWindow::SpinGetPos(int id) const {
  const auto it = spins_.find(id);
  return it == spins_.end() ? 0 : it->second.pos;
}

void QtDialogWindow::ProgressSetRange(int id, int lower, int upper) {
  auto* p = qobject_cast<QProgressBar*>(Find(id));
  if (p == nullptr) return;
  const int pos = p->value();
  progressRanges_[id] = {lower, upper};
  p->setRange(std::min(lower, upper), std::max(lower, upper));
  ProgressSetPos(id, pos);
}

void QtDialogWindow::ProgressSetPos(int id, int pos) {
  auto* p = dynamic_cast<ProgressBar*>(Find(id));
  if (p == nullptr) return;
  const auto [lower, upper] = progressRanges_[id];
  // At the low end of the range the bar is empty.
  p->Show(std::clamp(pos, std::min(lower, upper), std::max(lower, upper)));
}

void QtDialogWindow::SetFont(int id, const FontSpec& font) {
  QWidget* w = Find(id);
  if (w == nullptr) return;
  const auto [it, added] = fonts_.try_emplace(id, font);
  if (!added && it->second == font) return;
  it->second = font;
  w->setFont(MapFont(font));
}

unsigned QtDialogWindow::SetTimer(unsigned id, unsigned periodMs) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(widget_);
    QObject::connect(timer, &QTimer::timeout, widget_, [this, id] {
      Deliver({WM_TIMER, static_cast<int>(id), 0, 0});
    });
  }
  // Restarting the same timer object keeps a tick from replacing its own timer.
  timer->start(static_cast<int>(std::max(1u, periodMs)));
  return id;
}

void QtDialogWindow::KillTimer(unsigned id) {
  const auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

void QtDialogWindow::AppendSystemMenuSeparator() {
  systemMenu_.emplace_back(0, QString());
}

void QtDialogWindow::AppendSystemMenuItem(int commandId, std::string_view text) {
  systemMenu_.emplace_back(commandId, FromUtf8(text));
}

void QtDialogWindow::CheckSystemMenuItem(int commandId, bool checked) {
  if (checked) {
    checkedMenu_.insert(commandId);
  } else {
    checkedMenu_.erase(commandId);
  }
}

std::optional<std::string> QtDialogWindow::AskSaveFileName(std::string_view title,
                                                           std::string_view defaultName) {
  const QString name = FromUtf8(defaultName);
  const QString suggested =
      QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(name);
  QString chosen;
  if (saveFileName_) {
    const std::optional<std::string> path = saveFileName_(suggested.toStdString());
    if (!path) return std::nullopt;
    chosen = FromUtf8(*path);
  } else {
    const QString suffix = QFileInfo(name).suffix();
    const QString filter = suffix.isEmpty() ? QString() : QStringLiteral("*.") + suffix;
    chosen = QFileDialog::getSaveFileName(widget_, FromUtf8(title), suggested, filter);
  }
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

void QtDialogWindow::ShowMessageBox(std::string_view text) {
  // Window-modal and not waited for, so the poll timer goes on meanwhile.
  auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kolvane"), FromUtf8(text),
                              QMessageBox::Ok, widget_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void QtDialogWindow::SetIcon(int iconResource, bool) {
  // One icon holds both sizes, so the big and the small request agree.
  if (iconResource == ids::kPanelIcon) {
    widget_->setWindowIcon(PanelIcon());
  } else if (const QPixmap p = Picture(iconResource); !p.isNull()) {
    widget_->setWindowIcon(QIcon(p));
  }
}

}  // namespace kolvane::qt
