#include "platform/qt/dialog_window.h"

#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyleOption>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "platform/qt/artwork.h"
#include "resources/ids.h"

namespace kolvane::qt {

using layout::Kind;
namespace st = layout::style;

QFont MapFont(const FontSpec& request) {
  // Liberation fonts share the metrics of the Windows faces they replace.
  QString family = QString::fromStdString(request.face);
  if (family.isEmpty() || family == u"Arial" || family == u"MS Sans Serif" ||
      family == u"MS Shell Dlg") {
    family = QStringLiteral("Liberation Sans");
  } else if (family == u"Courier New") {
    family = QStringLiteral("Liberation Mono");
  } else if (family == u"Times New Roman") {
    family = QStringLiteral("Liberation Serif");
  }
  QFont f(family);
  // A positive height is the cell height: ascent plus descent, 2288 units
  // of the face's 2048-unit em. A negative one is the em itself.
  int pixels = 11;
  if (request.height > 0) {
    pixels = static_cast<int>(std::lround(request.height * 2048.0 / 2288.0));
  } else if (request.height < 0) {
    pixels = -request.height;
  }
  f.setPixelSize(std::max(1, pixels));
  if (request.weight > 0)
    f.setWeight(static_cast<QFont::Weight>(std::clamp(request.weight, 100, 900)));
  return f;
}

QFont DialogFont(std::string_view face, int points) {
  return MapFont(FontSpec{-(points * 96 + 36) / 72, 0, 400, 0, std::string(face)});
}

namespace {

QString FromUtf8(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QColor ToQColor(ColorRef c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

bool IsStatic(Kind k) {
  return k == Kind::kStatic || k == Kind::kSunkenStatic || k == Kind::kBorderedStatic ||
         k == Kind::kPicture || k == Kind::kFrame || k == Kind::kGroupBox;
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

bool IsButton(Kind k) {
  return ColourKind(k) == CTLCOLOR_BTN;
}

// Applies one control-colour answer: the brush fills the control, the text
// colour draws its text. Buttons and arrows keep the system's face and text
// colours, as on Win32, where only the area behind the face takes the brush.
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

}  // namespace

// The dialog's own window: Escape and the close box cancel, Enter picks the
// default command, a right click on the background opens the system menu.
class DialogWidget : public QDialog {
 public:
  DialogWidget(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) {}

  std::function<void()> onCancel;
  std::function<void()> onEnter;
  std::function<void(const QPoint&)> onSystemMenu;

  // QDialog routes Escape and the close box here; the dialog decides.
  void reject() override {
    if (onCancel) onCancel();
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      if (onEnter) onEnter();
      return;
    }
    QDialog::keyPressEvent(e);
  }

  void contextMenuEvent(QContextMenuEvent* e) override {
    if (e->reason() == QContextMenuEvent::Mouse && childAt(e->pos()) != nullptr) {
      e->ignore();
      return;
    }
    if (onSystemMenu) onSystemMenu(e->globalPos());
  }
};

namespace {

// SS_BLACKFRAME.
class BlackFrame : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent* e) override {
    // The frame lies under most of the panel, so a small update anywhere
    // inside it (a caret's blink) reaches it; the border is all it draws.
    if (rect().adjusted(2, 2, -2, -2).contains(e->rect())) return;
    QPainter p(this);
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
};

// A static text; WS_BORDER draws a black line whatever the text colour.
class StaticText : public QLabel {
 public:
  StaticText(QWidget* parent, bool border) : QLabel(parent), border_(border) {
    if (border_) setContentsMargins(1, 1, 1, 1);
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QLabel::paintEvent(e);
    if (!border_) return;
    QPainter p(this);
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }

 private:
  bool border_;
};

// An etched group frame with its caption breaking the top line.
class GroupFrame : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent* e) override {
    const QFontMetrics fm(font());
    const QRect r = rect().adjusted(0, fm.height() / 2, -1, -1);
    const QString text = title();
    const QRect band(6, 0, fm.horizontalAdvance(text) + 4, fm.height());
    // Clear of both outlines and the caption (a caret blinking in a control
    // of the group): nothing of the frame would show, so the caption is not
    // laid out again.
    if (r.adjusted(3, 3, -2, -2).contains(e->rect()) && !band.intersects(e->rect())) return;
    QPainter p(this);
    p.setPen(QColor(128, 128, 128));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setPen(Qt::white);
    p.drawRect(r.adjusted(1, 1, 0, 0));
    if (text.isEmpty()) return;
    p.fillRect(band, palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(band, Qt::AlignCenter, text);
  }
};

// A list box that tells only the user's selections. Made one entry high,
// each entry fills the view and the scroll arrows flip between entries.
// A push-like radio or check. The style draws a checked button only a shade
// darker than a raised one; a pressed-in face makes the chosen setting plain
// at a glance, as the instrument's own latching keys are.
class PushLikeButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPushButton::paintEvent(e);
    if (!isChecked()) return;
    QPainter p(this);
    const QRect face = rect().adjusted(1, 1, -1, -1);
    p.fillRect(face, QColor(0, 0, 0, 70));
    p.setPen(QColor(0, 0, 0, 150));
    p.drawLine(face.topLeft(), face.topRight());
    p.drawLine(face.topLeft(), face.bottomLeft());
  }
};

class ListBox : public QListWidget {
 public:
  ListBox(QWidget* parent, bool oneEntryHigh) : QListWidget(parent), oneEntry_(oneEntryHigh) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }

  std::function<void()> onUserSelect;

  int Selected() const {
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
  }

  void FitEntries() {
    if (!oneEntry_) return;
    const QSize entry(viewport()->width(), viewport()->height());
    for (int i = 0; i < count(); ++i) item(i)->setSizeHint(entry);
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    pressedOnEntry_ = e->button() == Qt::LeftButton && itemAt(e->position().toPoint()) != nullptr;
    QListWidget::mousePressEvent(e);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    QListWidget::mouseReleaseEvent(e);
    if (pressedOnEntry_ && e->button() == Qt::LeftButton) {
      pressedOnEntry_ = false;
      if (onUserSelect) onUserSelect();
    }
  }
  void keyPressEvent(QKeyEvent* e) override {
    const int before = Selected();
    QListWidget::keyPressEvent(e);
    if (Selected() != before && onUserSelect) onUserSelect();
  }
  void resizeEvent(QResizeEvent* e) override {
    QListWidget::resizeEvent(e);
    FitEntries();
  }

 private:
  bool oneEntry_;
  bool pressedOnEntry_ = false;
};

// An up-down control: an up arrow over a down arrow.
class SpinArrows : public QWidget {
 public:
  explicit SpinArrows(QWidget* parent)
      : QWidget(parent), up(new QToolButton(this)), down(new QToolButton(this)) {
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up, down}) b->setFocusPolicy(Qt::NoFocus);
    up->setAccessibleName(QStringLiteral("Up"));
    down->setAccessibleName(QStringLiteral("Down"));
  }

  QToolButton* up;
  QToolButton* down;

 protected:
  void resizeEvent(QResizeEvent*) override {
    const int half = height() / 2;
    up->setGeometry(0, 0, width(), half);
    down->setGeometry(0, half, width(), height() - half);
  }
};

// Up and Down typed into a spin's buddy step the spin.
class ArrowKeys : public QObject {
 public:
  ArrowKeys(QObject* parent, std::function<void(bool up)> step)
      : QObject(parent), step_(std::move(step)) {}

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down) return false;
    step_(key == Qt::Key_Up);
    return true;
  }

 private:
  std::function<void(bool)> step_;
};

// A progress bar that keeps the style's picture of each state it has shown.
// The cycle empties and fills the bar around every result, and QProgressBar
// repaints at once, not on the next paint pass, whenever it reaches an end of
// its range; drawing the styled bar afresh each time cost more than the rest
// of the cycle together.
class ProgressBar : public QProgressBar {
 public:
  explicit ProgressBar(QWidget* parent) : QProgressBar(parent) {
    // Every pixel comes from the picture, so nothing beneath needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  bool event(QEvent* e) override {
    // Fusion's polish, run by the base, clears the attribute on every widget, and
    // without it each repaint of the bar also repaints the dialog and the
    // frame beneath it.
    const bool done = QProgressBar::event(e);
    if (e->type() == QEvent::Polish) setAttribute(Qt::WA_OpaquePaintEvent);
    return done;
  }

  void paintEvent(QPaintEvent*) override {
    // A kept picture is found by the widget's state and the bar's position;
    // the full style option, whose text is formatted even when hidden, is
    // made only to draw a new one.
    QStyleOption key;
    key.initFrom(this);
    const QPixmap& picture = Picture(key.state, key.palette.cacheKey());
    QPainter p(this);
    p.drawPixmap(0, 0, picture);
  }

  void changeEvent(QEvent* e) override {
    // Changes the state options do not show.
    const auto t = e->type();
    if (t == QEvent::StyleChange || t == QEvent::FontChange || t == QEvent::LayoutDirectionChange) {
      cache_.clear();
    }
    if (t == QEvent::StyleChange) setAttribute(Qt::WA_OpaquePaintEvent);
    QProgressBar::changeEvent(e);
  }

 private:
  struct Cached {
    QStyle::State state;
    int minimum, maximum, progress;
    QSize size;
    qint64 palette;
    qreal ratio;
    QPixmap picture;
  };

  const QPixmap& Picture(QStyle::State state, qint64 palette) {
    const qreal ratio = devicePixelRatio();
    for (const Cached& c : cache_) {
      if (c.state == state && c.minimum == minimum() && c.maximum == maximum() &&
          c.progress == value() && c.size == size() && c.palette == palette && c.ratio == ratio) {
        return c.picture;
      }
    }
    // A handful of states at most in use; a change of look starts afresh.
    if (cache_.size() >= 8) cache_.clear();
    QPixmap picture(size() * ratio);
    picture.setDevicePixelRatio(ratio);
    // What the window shows beneath the bar's rounded corners.
    const QWidget* under = parentWidget() != nullptr ? parentWidget() : this;
    picture.fill(under->palette().color(under->backgroundRole()));
    {
      QStyleOptionProgressBar opt;
      initStyleOption(&opt);
      QPainter p(&picture);
      style()->drawControl(QStyle::CE_ProgressBar, &opt, &p, this);
    }
    cache_.push_back(
        {state, minimum(), maximum(), value(), size(), palette, ratio, std::move(picture)});
    return cache_.back().picture;
  }

  std::vector<Cached> cache_;
};

// Lists shorter than two entries show one entry at a time.
bool IsOneEntryHigh(const QFont& font, int heightPx) {
  return heightPx < 2 * (QFontMetrics(font).height() + 4);
}

}  // namespace

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

int QtDialogWindow::RunModal(CDialog& dialog) {
  const layout::DialogTemplate* t = layout::FindTemplate(dialog.TemplateId());
  if (t == nullptr) return -1;
  QtDialogWindow child(*t, widget_);
  return child.Run(dialog);
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
  auto* p = qobject_cast<QProgressBar*>(Find(id));
  if (p == nullptr) return;
  const auto [lower, upper] = progressRanges_[id];
  // At the low end of the range the bar is empty.
  p->setValue(std::clamp(pos, std::min(lower, upper), std::max(lower, upper)));
}

void QtDialogWindow::SetFont(int id, const FontSpec& font) {
  if (QWidget* w = Find(id)) w->setFont(MapFont(font));
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
