// Running a dialog window: attaching the dialog, the modal loop, and the
// user's clicks, steps, keys and menu choices turned into its messages.
#include <QAbstractButton>
#include <QMenu>
#include <QTimer>
#include <algorithm>

#include "platform/qt/colours.h"
#include "platform/qt/dialog_window.h"
#include "platform/qt/widgets.h"

namespace kolvane::qt {

using layout::Kind;

void QtDialogWindow::Open(CDialog& dialog) {
  dialog_ = &dialog;
  ended_ = false;
  dialog.Attach(this);
  dialog.OnInitDialog();
  ApplyColours();
  if (!ended_) widget_->show();
}

int QtDialogWindow::Run(CDialog& dialog, const std::function<void(QtDialogWindow&)>& onShown) {
  // Modal before the first show: exec() does not make a shown window modal.
  widget_->setWindowModality(Qt::ApplicationModal);
  Open(dialog);
  if (!ended_) {
    if (onShown) onShown(*this);
    running_ = true;
    widget_->exec();
    running_ = false;
    if (!ended_) result_ = IDCANCEL;
  }
  Detach();
  return result_;
}

void QtDialogWindow::Detach() {
  for (auto& [id, timer] : timers_) timer->stop();
  if (dialog_ != nullptr) dialog_->Attach(nullptr);
  dialog_ = nullptr;
}

void QtDialogWindow::Deliver(const Message& m) {
  if (dialog_ != nullptr) dialog_->Dispatch(m);
}

void QtDialogWindow::ApplyColours() {
  if (dialog_ == nullptr) return;
  const CtlColors own = dialog_->OnCtlColor(0, CTLCOLOR_DLG);
  if (own.ownBrush) {
    QPalette p = widget_->palette();
    p.setColor(QPalette::Window, ToQColor(own.brush));
    widget_->setPalette(p);
    widget_->setAutoFillBackground(true);
  }
  for (std::size_t i = 0; i < widgets_.size(); ++i) {
    const layout::Control& c = template_.controls[i];
    Paint(widgets_[i], c.kind, dialog_->OnCtlColor(c.id, ColourKind(c.kind)));
  }
}

void QtDialogWindow::OnUserClick(const layout::Control& c) {
  if (c.kind == Kind::kRadio) {
    // An automatic radio: it is checked and the others of its group are not.
    for (std::size_t i = 0; i < widgets_.size(); ++i) {
      const layout::Control& other = template_.controls[i];
      if (other.kind == Kind::kRadio && other.group != 0 && other.group == c.group) {
        static_cast<QAbstractButton*>(widgets_[i])->setChecked(other.id == c.id);
      }
    }
    static_cast<QAbstractButton*>(Find(c.id))->setChecked(true);
  }
  Deliver({WM_COMMAND, c.id, BN_CLICKED, 0});
}

void QtDialogWindow::StepSpin(int id, bool up) {
  Spin& s = spins_[id];
  const int step = (s.upper >= s.lower) == up ? 1 : -1;
  s.pos = std::clamp(s.pos + step, std::min(s.lower, s.upper), std::max(s.lower, s.upper));
  const int pos = s.pos;
  Deliver({WM_VSCROLL, id, SB_THUMBPOSITION, pos});
  Deliver({WM_VSCROLL, id, SB_ENDSCROLL, pos});
}

int QtDialogWindow::EnterCommandId() const {
  // The focused push button takes Enter, else the default button, else OK.
  const QWidget* focus = widget_->focusWidget();
  for (std::size_t i = 0; i < widgets_.size(); ++i) {
    const Kind k = template_.controls[i].kind;
    if ((k == Kind::kPushButton || k == Kind::kDefPushButton) && widgets_[i] == focus) {
      return template_.controls[i].id;
    }
  }
  for (const layout::Control& c : template_.controls) {
    if (c.kind == Kind::kDefPushButton) return c.id;
  }
  return IDOK;
}

void QtDialogWindow::ShowSystemMenu(const QPoint& globalPos) {
  if (systemMenu_.empty()) return;
  QMenu menu(widget_);
  for (const auto& [id, text] : systemMenu_) {
    if (id == 0) {
      menu.addSeparator();
    } else {
      QAction* entry = menu.addAction(text);
      entry->setData(id);
      if (checkedMenu_.count(id) != 0) {
        entry->setCheckable(true);
        entry->setChecked(true);
      }
    }
  }
  if (const QAction* chosen = menu.exec(globalPos)) {
    Deliver({WM_SYSCOMMAND, chosen->data().toInt(), 0, 0});
  }
}

int QtDialogWindow::RunModal(CDialog& dialog) {
  const layout::DialogTemplate* t = layout::FindTemplate(dialog.TemplateId());
  if (t == nullptr) return -1;
  QtDialogWindow child(*t, widget_);
  return child.Run(dialog);
}

void QtDialogWindow::EndModal(int result) {
  ended_ = true;
  result_ = result;
  if (widget_ != nullptr) widget_->done(result);
}

void QtDialogWindow::Close() {
  QPointer<DialogWidget> w = widget_;
  QMetaObject::invokeMethod(
      widget_,
      [w] {
        if (w != nullptr) w->close();
      },
      Qt::QueuedConnection);
}

}  // namespace kolvane::qt
