// The panel's progress bar keeps the pictures it has drawn; wherever its
// position and state go, it must look exactly like the style's own bar.
#include <gtest/gtest.h>

#include <QDialog>
#include <QImage>
#include <QProgressBar>
#include <algorithm>

#include "resources/ids.h"
#include "tests/gui/gui_support.h"

namespace kolvane::test {
namespace {

QImage Picture(QWidget& w) {
  return w.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST(ProgressBar, LooksLikeTheStylesOwnBarAtEveryPositionAndState) {
  OpenDialog d(ids::kPanelDialog);
  d.dialog.colours = [](int, int) {
    return CtlColors{true, true, Rgb(203, 203, 203), Rgb(203, 203, 203), Rgb(128, 0, 0)};
  };
  d.Open();
  qt::QtDialogWindow& w = d.window;
  auto* bar = qobject_cast<QProgressBar*>(w.ControlWidget(ids::kProgress));
  ASSERT_NE(bar, nullptr);
  w.ProgressSetRange(ids::kProgress, 1, 10);

  // The style's bar in the same place, palette and range, never shown.
  QProgressBar plain(&w.Widget());
  plain.hide();
  plain.setGeometry(bar->geometry());
  plain.setPalette(bar->palette());
  plain.setTextVisible(false);
  plain.setRange(1, 10);

  struct Case {
    int pos;
    bool enabled;
  };
  // Back and forth, as the cycle moves it, with and without the enabling.
  const Case kCases[] = {{10, false}, {0, false}, {10, false}, {5, false}, {0, false},
                         {10, true},  {0, true},  {10, true},  {10, false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.pos << (c.enabled ? " enabled" : " disabled"));
    w.EnableControl(ids::kProgress, c.enabled);
    w.ProgressSetPos(ids::kProgress, c.pos);
    plain.setEnabled(c.enabled);
    plain.setValue(std::max(c.pos, 1));
    EXPECT_TRUE(Picture(*bar) == Picture(plain));
  }
}

}  // namespace
}  // namespace kolvane::test
