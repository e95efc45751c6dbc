#include "platform/qt/colours.h"

#include <QPalette>
#include <QWidget>
#include <initializer_list>

#include "platform/dialog.h"

namespace kolvane::qt {

using layout::Kind;

namespace {

bool IsStatic(Kind k) {
  return k == Kind::kStatic || k == Kind::kSunkenStatic || k == Kind::kBorderedStatic ||
         k == Kind::kPicture || k == Kind::kFrame || k == Kind::kGroupBox;
}

bool IsButton(Kind k) {
  return ColourKind(k) == CTLCOLOR_BTN;
}

}  // namespace

QColor ToQColor(ColorRef c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

int ColourKind(Kind k) {
  switch (k) {
    case Kind::kEdit:
      return CTLCOLOR_EDIT;
    case Kind::kListBox:
      return CTLCOLOR_LISTBOX;
    case Kind::kRadio:
    case Kind::kCheck:
    case Kind::kPushButton:
    case Kind::kDefPushButton:
    case Kind::kSpin:
      return CTLCOLOR_BTN;
    default:
      return CTLCOLOR_STATIC;
  }
}

void Paint(QWidget* w, Kind kind, const CtlColors& c) {
  if (!c.custom && !c.ownBrush) return;
  QPalette p = w->palette();
  if (IsButton(kind)) {
    if (!c.ownBrush) return;
    p.setColor(QPalette::Window, ToQColor(c.brush));
    w->setPalette(p);
    w->setAutoFillBackground(true);
    return;
  }
  if (c.custom) {
    const QColor text = ToQColor(c.text);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
      for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(group, role, text);
      }
    }
  }
  if (c.ownBrush) {
    const QColor brush = ToQColor(c.brush);
    for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
      p.setColor(role, brush);
    }
    if (IsStatic(kind)) w->setAutoFillBackground(true);
  }
  w->setPalette(p);
}

}  // namespace kolvane::qt
