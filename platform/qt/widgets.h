// The widgets that stand in for the Win32 dialog and its controls.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <vector>

namespace kolvane::qt {

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
  void keyPressEvent(QKeyEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
};

// SS_BLACKFRAME.
class BlackFrame : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

// A static text; WS_BORDER draws a black line whatever the text colour.
class StaticText : public QLabel {
 public:
  StaticText(QWidget* parent, bool border) : QLabel(parent), border_(border) {
    if (border_) setContentsMargins(1, 1, 1, 1);
  }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  bool border_;
};

// An etched group frame with its caption breaking the top line.
class GroupFrame : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

// A push-like radio or check. The style draws a checked button only a shade
// darker than a raised one; a pressed-in face makes the chosen setting plain
// at a glance, as the instrument's own latching keys are.
class PushLikeButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

// A list box that tells only the user's selections. Made one entry high,
// each entry fills the view and the scroll arrows flip between entries.
class ListBox : public QListWidget {
 public:
  ListBox(QWidget* parent, bool oneEntryHigh);

  std::function<void()> onUserSelect;

  int Selected() const;
  void FitEntries();

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  bool oneEntry_;
  bool pressedOnEntry_ = false;
};

// An up-down control: an up arrow over a down arrow.
class SpinArrows : public QWidget {
 public:
  explicit SpinArrows(QWidget* parent);

  QToolButton* up;
  QToolButton* down;

 protected:
  void resizeEvent(QResizeEvent*) override;
};

// Up and Down typed into a spin's buddy step the spin.
class ArrowKeys : public QObject {
 public:
  ArrowKeys(QObject* parent, std::function<void(bool up)> step)
      : QObject(parent), step_(std::move(step)) {}

 protected:
  bool eventFilter(QObject*, QEvent* e) override;

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

  // As setValue, but painted with the next frame, so a result's bar and
  // reading reach the screen together.
  void Show(int value);

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent*) override;
  void changeEvent(QEvent* e) override;

 private:
  struct Cached {
    QStyle::State state;
    int minimum, maximum, progress;
    QSize size;
    qint64 palette;
    qreal ratio;
    QPixmap picture;
  };

  const QPixmap& Picture(QStyle::State state, qint64 palette);

  std::vector<Cached> cache_;
  int painted_ = -1;
  bool catchUpPosted_ = false;
};

// Lists shorter than two entries show one entry at a time.
bool IsOneEntryHigh(const QFont& font, int heightPx);

}  // namespace kolvane::qt
