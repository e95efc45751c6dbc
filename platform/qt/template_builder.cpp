// Building a dialog window from its template: the window's flags, size and
// font, and one widget per control at its template rectangle.
#include <QLineEdit>
#include <algorithm>

#include "platform/qt/artwork.h"
#include "platform/qt/dialog_window.h"
#include "platform/qt/fonts.h"
#include "platform/qt/text.h"
#include "platform/qt/widgets.h"

namespace kolvane::qt {

using layout::Kind;
namespace st = layout::style;

QtDialogWindow::QtDialogWindow(const layout::DialogTemplate& dialogTemplate, QWidget* parent)
    : template_(dialogTemplate) {
  namespace ds = layout::dialog_style;
  const unsigned s = template_.styles;
  Qt::WindowFlags flags = (s & ds::kAppWindow) != 0 ? Qt::Window : Qt::Dialog;
  flags |= Qt::CustomizeWindowHint;
  if ((s & ds::kCaption) != 0) flags |= Qt::WindowTitleHint;
  if ((s & ds::kSysMenu) != 0) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if ((s & ds::kMinimizeBox) != 0) flags |= Qt::WindowMinimizeButtonHint;
  if ((s & ds::kMaximizeBox) != 0) flags |= Qt::WindowMaximizeButtonHint;

  widget_ = new DialogWidget(parent, flags);
  const QString caption = FromUtf8(template_.caption);
  widget_->setWindowTitle(caption);
  widget_->setAccessibleName(caption);
  widget_->setAccessibleDescription(QString::number(template_.id));
  widget_->setFont(DialogFont(template_.fontFace, template_.fontPoints));
  const QSize client(layout::ToPixelsX(template_.width), layout::ToPixelsY(template_.height));
  if ((s & ds::kMaximizeBox) != 0) {
    widget_->resize(client);
    widget_->setMinimumSize(client);
  } else {
    widget_->setFixedSize(client);
  }
  widget_->onCancel = [this] { Deliver({WM_COMMAND, IDCANCEL, BN_CLICKED, 0}); };
  widget_->onEnter = [this] { Deliver({WM_COMMAND, EnterCommandId(), BN_CLICKED, 0}); };
  widget_->onSystemMenu = [this](const QPoint& at) { ShowSystemMenu(at); };
  Build();
}

QtDialogWindow::~QtDialogWindow() {
  Detach();
  delete widget_.data();
}

QDialog& QtDialogWindow::Widget() {
  return *widget_;
}

void QtDialogWindow::Build() {
  QWidget* previous = nullptr;
  for (std::size_t i = 0; i < template_.controls.size(); ++i) {
    const layout::Control& c = template_.controls[i];
    QWidget* w = MakeControl(c, previous);
    const layout::Rect px = layout::ToPixels(c.rect);
    w->setGeometry(px.x, px.y, px.w, px.h);
    w->setAccessibleDescription(QString::number(c.id));
    w->setAccessibleName(FromUtf8(c.caption));
    if ((c.styles & st::kHidden) != 0) w->setVisible(false);
    if ((c.styles & st::kDisabled) != 0) w->setEnabled(false);
    widgets_.push_back(w);
    if (c.id != -1) index_.emplace(c.id, i);
    previous = w;
  }
}

QWidget* QtDialogWindow::MakeControl(const layout::Control& c, QWidget* previous) {
  QWidget* parent = widget_;
  const QString caption = FromUtf8(c.caption);
  switch (c.kind) {
    case Kind::kFrame: {
      auto* f = new BlackFrame(parent);
      f->setAttribute(Qt::WA_TransparentForMouseEvents);
      return f;
    }
    case Kind::kPicture: {
      auto* l = new QLabel(parent);
      l->setPixmap(Picture(c.picture));
      l->setAlignment((c.styles & st::kCentreImage) != 0 ? Qt::AlignCenter
                                                         : Qt::AlignLeft | Qt::AlignTop);
      l->setAttribute(Qt::WA_TransparentForMouseEvents);
      return l;
    }
    case Kind::kStatic:
    case Kind::kSunkenStatic:
    case Kind::kBorderedStatic: {
      auto* l = new StaticText(parent, c.kind == Kind::kBorderedStatic);
      l->setTextFormat(Qt::PlainText);
      l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (c.kind == Kind::kSunkenStatic) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      // Win32 draws the text right inside the border.
      l->setIndent(0);
      // The message fields wrap their text; labels and the reading do not.
      l->setWordWrap(c.kind == Kind::kBorderedStatic);
      if ((c.styles & st::kExponent) != 0) {
        QFont small = widget_->font();
        small.setPixelSize(std::max(1, small.pixelSize() * 3 / 4));
        l->setFont(small);
      }
      l->setText(caption);
      l->setAttribute(Qt::WA_TransparentForMouseEvents);
      return l;
    }
    case Kind::kGroupBox: {
      auto* g = new GroupFrame(caption, parent);
      g->setAttribute(Qt::WA_TransparentForMouseEvents);
      return g;
    }
    case Kind::kEdit: {
      auto* e = new QLineEdit(parent);
      QObject::connect(e, &QLineEdit::textEdited, e,
                       [e](const QString& text) { e->setAccessibleName(text); });
      return e;
    }
    case Kind::kRadio:
    case Kind::kCheck:
    case Kind::kPushButton:
    case Kind::kDefPushButton: {
      const bool latching = c.kind == Kind::kRadio || c.kind == Kind::kCheck;
      QPushButton* b =
          latching ? new PushLikeButton(caption, parent) : new QPushButton(caption, parent);
      // Enter is the dialog's to route, not the focused button's.
      b->setAutoDefault(false);
      b->setCheckable(latching);
      QObject::connect(b, &QPushButton::clicked, b, [this, &c] { OnUserClick(c); });
      return b;
    }
    case Kind::kListBox: {
      auto* l = new ListBox(parent, IsOneEntryHigh(widget_->font(), layout::ToPixelsY(c.rect.h)));
      l->setVerticalScrollBarPolicy((c.styles & st::kVScroll) != 0 ? Qt::ScrollBarAlwaysOn
                                                                   : Qt::ScrollBarAsNeeded);
      const int id = c.id;
      const bool notify = (c.styles & st::kNotify) != 0;
      l->onUserSelect = [this, l, id, notify] {
        const int row = l->Selected();
        l->setAccessibleName(row >= 0 ? l->item(row)->text() : QString());
        if (notify) Deliver({WM_COMMAND, id, LBN_SELCHANGE, 0});
      };
      return l;
    }
    case Kind::kSpin: {
      auto* s = new SpinArrows(parent);
      const int id = c.id;
      spins_[id] = Spin{};
      QObject::connect(s->up, &QToolButton::clicked, s, [this, id] { StepSpin(id, true); });
      QObject::connect(s->down, &QToolButton::clicked, s, [this, id] { StepSpin(id, false); });
      const unsigned keys = st::kAutoBuddy | st::kArrowKeys;
      if ((c.styles & keys) == keys && qobject_cast<QLineEdit*>(previous) != nullptr) {
        previous->installEventFilter(
            new ArrowKeys(previous, [this, id](bool up) { StepSpin(id, up); }));
      }
      return s;
    }
    case Kind::kProgress: {
      auto* p = new ProgressBar(parent);
      p->setTextVisible(false);
      p->setRange(0, 100);
      p->setValue(0);
      progressRanges_[c.id] = {0, 100};
      return p;
    }
  }
  return new QWidget(parent);
}

}  // namespace kolvane::qt
