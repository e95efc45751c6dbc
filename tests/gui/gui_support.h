// Helpers of the GUI tests: a dialog that records what reaches it, and
// clicks aimed, as a user's would be, at a point of a window.
#pragma once

#include <QAccessible>
#include <QPoint>
#include <QTest>
#include <QWidget>
#include <functional>
#include <tuple>
#include <vector>

#include "platform/dialog.h"
#include "platform/qt/dialog_window.h"
#include "resources/layout.h"

namespace kolvane::test {

using MessageTuple = std::tuple<unsigned, int, int, int>;
inline MessageTuple AsTuple(const Message& m) {
  return {m.message, m.id, m.code, m.pos};
}

class RecordingDialog : public CDialog {
 public:
  explicit RecordingDialog(int templateId) : CDialog(templateId) {}

  std::vector<MessageTuple> messages;
  std::function<void(RecordingDialog&)> onInit;
  std::function<void(const Message&)> onMessage;
  std::function<CtlColors(int id, int kind)> colours;

  bool OnInitDialog() override {
    if (onInit) onInit(*this);
    return true;
  }
  CtlColors OnCtlColor(int id, int kind) override {
    return colours ? colours(id, kind) : CDialog::OnCtlColor(id, kind);
  }

 protected:
  // Records everything and lets OK and Cancel end the dialog as usual.
  bool DispatchMap(const Message& m) override {
    messages.push_back(AsTuple(m));
    if (onMessage) onMessage(m);
    return false;
  }
};

// A window of the template with a recording dialog attached and shown.
struct OpenDialog {
  explicit OpenDialog(int templateId)
      : dialog(templateId), window(*layout::FindTemplate(templateId), nullptr) {}
  void Open() {
    window.Open(dialog);
    (void)QTest::qWaitForWindowExposed(&window.Widget());
  }
  // The centre of a control's rectangle, in the window's pixels.
  QPoint Centre(int id) const {
    const layout::Rect r = layout::ToPixels(layout::FindControl(window.Template(), id)->rect);
    return {r.x + r.w / 2, r.y + r.h / 2};
  }
  RecordingDialog dialog;
  qt::QtDialogWindow window;
};

// Presses and releases the left button at a point of the window, on the
// widget a user would hit there.
inline void ClickAt(QWidget& top, QPoint at) {
  QWidget* target = top.childAt(at);
  if (target == nullptr) target = &top;
  QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, target->mapFrom(&top, at));
}

inline QString AccessibleText(QWidget* w, QAccessible::Text which) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
  return a == nullptr ? QString() : a->text(which);
}

}  // namespace kolvane::test
