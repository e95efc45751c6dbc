#include "platform/qt/widgets.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOption>
#include <initializer_list>

namespace kolvane::qt {

void DialogWidget::keyPressEvent(QKeyEvent* e) {
  const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
  if (enter && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (onEnter) onEnter();
    return;
  }
  QDialog::keyPressEvent(e);
}

void DialogWidget::contextMenuEvent(QContextMenuEvent* e) {
  if (e->reason() == QContextMenuEvent::Mouse && childAt(e->pos()) != nullptr) {
    e->ignore();
    return;
  }
  if (onSystemMenu) onSystemMenu(e->globalPos());
}

void BlackFrame::paintEvent(QPaintEvent* e) {
  // The frame lies under most of the panel, so a small update anywhere
  // inside it (a caret's blink) reaches it; the border is all it draws.
  if (rect().adjusted(2, 2, -2, -2).contains(e->rect())) return;
  QPainter p(this);
  p.setPen(Qt::black);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void StaticText::paintEvent(QPaintEvent* e) {
  QLabel::paintEvent(e);
  if (!border_) return;
  QPainter p(this);
  p.setPen(Qt::black);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void GroupFrame::paintEvent(QPaintEvent* e) {
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

void PushLikeButton::paintEvent(QPaintEvent* e) {
  QPushButton::paintEvent(e);
  if (!isChecked()) return;
  QPainter p(this);
  const QRect face = rect().adjusted(1, 1, -1, -1);
  p.fillRect(face, QColor(0, 0, 0, 70));
  p.setPen(QColor(0, 0, 0, 150));
  p.drawLine(face.topLeft(), face.topRight());
  p.drawLine(face.topLeft(), face.bottomLeft());
}

ListBox::ListBox(QWidget* parent, bool oneEntryHigh)
    : QListWidget(parent), oneEntry_(oneEntryHigh) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

int ListBox::Selected() const {
  const QModelIndexList rows = selectionModel()->selectedIndexes();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ListBox::FitEntries() {
  if (!oneEntry_) return;
  const QSize entry(viewport()->width(), viewport()->height());
  for (int i = 0; i < count(); ++i) item(i)->setSizeHint(entry);
}

void ListBox::mousePressEvent(QMouseEvent* e) {
  pressedOnEntry_ = e->button() == Qt::LeftButton && itemAt(e->position().toPoint()) != nullptr;
  QListWidget::mousePressEvent(e);
}

void ListBox::mouseReleaseEvent(QMouseEvent* e) {
  QListWidget::mouseReleaseEvent(e);
  if (pressedOnEntry_ && e->button() == Qt::LeftButton) {
    pressedOnEntry_ = false;
    if (onUserSelect) onUserSelect();
  }
}

void ListBox::keyPressEvent(QKeyEvent* e) {
  const int before = Selected();
  QListWidget::keyPressEvent(e);
  if (Selected() != before && onUserSelect) onUserSelect();
}

void ListBox::resizeEvent(QResizeEvent* e) {
  QListWidget::resizeEvent(e);
  FitEntries();
}

SpinArrows::SpinArrows(QWidget* parent)
    : QWidget(parent), up(new QToolButton(this)), down(new QToolButton(this)) {
  up->setArrowType(Qt::UpArrow);
  down->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up, down}) b->setFocusPolicy(Qt::NoFocus);
  up->setAccessibleName(QStringLiteral("Up"));
  down->setAccessibleName(QStringLiteral("Down"));
}

void SpinArrows::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  up->setGeometry(0, 0, width(), half);
  down->setGeometry(0, half, width(), height() - half);
}

bool ArrowKeys::eventFilter(QObject*, QEvent* e) {
  if (e->type() != QEvent::KeyPress) return false;
  const int key = static_cast<QKeyEvent*>(e)->key();
  if (key != Qt::Key_Up && key != Qt::Key_Down) return false;
  step_(key == Qt::Key_Up);
  return true;
}

void ProgressBar::Show(int v) {
  if (v == value()) return;
  // setValue repaints at once; the look catches up once the tick is over,
  // in the reading's frame, and not at all if the bar is back where it was.
  setAttribute(Qt::WA_UpdatesDisabled, true);
  setValue(v);
  setAttribute(Qt::WA_UpdatesDisabled, false);
  if (catchUpPosted_) return;
  catchUpPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        catchUpPosted_ = false;
        if (value() != painted_) update();
      },
      Qt::QueuedConnection);
}

bool ProgressBar::event(QEvent* e) {
  // Fusion's polish, run by the base, clears the attribute on every widget, and
  // without it each repaint of the bar also repaints the dialog and the
  // frame beneath it.
  const bool done = QProgressBar::event(e);
  if (e->type() == QEvent::Polish) setAttribute(Qt::WA_OpaquePaintEvent);
  return done;
}

void ProgressBar::paintEvent(QPaintEvent*) {
  // A kept picture is found by the widget's state and the bar's position;
  // the full style option, whose text is formatted even when hidden, is
  // made only to draw a new one.
  QStyleOption key;
  key.initFrom(this);
  const QPixmap& picture = Picture(key.state, key.palette.cacheKey());
  painted_ = value();
  QPainter p(this);
  p.drawPixmap(0, 0, picture);
}

void ProgressBar::changeEvent(QEvent* e) {
  // Changes the state options do not show.
  const auto t = e->type();
  if (t == QEvent::StyleChange || t == QEvent::FontChange || t == QEvent::LayoutDirectionChange) {
    cache_.clear();
  }
  if (t == QEvent::StyleChange) setAttribute(Qt::WA_OpaquePaintEvent);
  QProgressBar::changeEvent(e);
}

const QPixmap& ProgressBar::Picture(QStyle::State state, qint64 palette) {
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

bool IsOneEntryHigh(const QFont& font, int heightPx) {
  return heightPx < 2 * (QFontMetrics(font).height() + 4);
}

}  // namespace kolvane::qt
