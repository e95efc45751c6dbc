#include "platform/qt/artwork.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

#include "resources/ids.h"

namespace kolvane::qt {

namespace {

const QColor kGrey(203, 203, 203);
const QColor kDarkRed(128, 0, 0);

QPixmap Canvas(int w, int h, const QColor& fill) {
  QPixmap p(w, h);
  p.fill(fill);
  return p;
}

// The largest bold face of the family that fits the box.
QFont FittingFont(const QString& text, int width, int height, bool bold) {
  QFont f(QStringLiteral("Liberation Sans"));
  f.setBold(bold);
  for (int px = height; px > 4; --px) {
    f.setPixelSize(px);
    const QFontMetrics m(f);
    if (m.horizontalAdvance(text) <= width && m.height() <= height + 2) break;
  }
  return f;
}

QPixmap Lettering(int w, int h, const QString& text, const QColor& colour) {
  QPixmap p = Canvas(w, h, kGrey);
  QPainter g(&p);
  g.setRenderHint(QPainter::TextAntialiasing);
  g.setFont(FittingFont(text, w - 1, h, true));
  g.setPen(colour);
  g.drawText(QRect(0, 0, w, h), Qt::AlignLeft | Qt::AlignVCenter, text);
  return p;
}

// A few periods of a sine wave across the box.
QPainterPath Wave(const QRectF& box, double periods) {
  QPainterPath path;
  const int steps = 48;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    const double x = box.left() + t * box.width();
    const double y =
        box.center().y() - std::sin(t * periods * 2 * std::numbers::pi) * box.height() / 2;
    if (i == 0) {
      path.moveTo(x, y);
    } else {
      path.lineTo(x, y);
    }
  }
  return path;
}

QPixmap Emblem() {
  QPixmap p = Canvas(32, 36, kGrey);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  QPainterPath shield;
  shield.moveTo(2, 2);
  shield.lineTo(30, 2);
  shield.lineTo(30, 22);
  shield.quadTo(30, 30, 16, 34);
  shield.quadTo(2, 30, 2, 22);
  shield.closeSubpath();
  g.fillPath(shield, kDarkRed);
  g.setPen(QPen(Qt::black, 1));
  g.drawPath(shield);
  g.setPen(QPen(kGrey, 2));
  g.drawPath(Wave(QRectF(6, 7, 20, 12), 1.5));
  g.setPen(QPen(Qt::white, 1));
  for (int x = 9; x <= 23; x += 7) g.drawLine(x, 23, x, 27);
  return p;
}

QPixmap Title() {
  QPixmap p = Canvas(272, 48, kGrey);
  QPainter g(&p);
  g.setRenderHint(QPainter::TextAntialiasing);
  g.setPen(kDarkRed);
  const QString top = QStringLiteral("ЭЛЕКТРОННО-СЧЕТНЫЙ ЧАСТОТОМЕР");
  const QString bottom = QStringLiteral("Kolvane");
  g.setFont(FittingFont(top, 268, 20, true));
  g.drawText(QRect(0, 2, 272, 22), Qt::AlignCenter, top);
  g.setFont(FittingFont(bottom, 268, 18, true));
  g.drawText(QRect(0, 25, 272, 21), Qt::AlignCenter, bottom);
  return p;
}

// A signal edge in a 7 x 10 box: low, step, high (rising) or the reverse.
QPixmap Edge(bool rising) {
  QPixmap p = Canvas(7, 10, kGrey);
  QPainter g(&p);
  g.setPen(QPen(Qt::black, 1));
  const int low = 8, high = 1;
  const int first = rising ? low : high;
  const int second = rising ? high : low;
  g.drawLine(0, first, 3, first);
  g.drawLine(3, first, 3, second);
  g.drawLine(3, second, 6, second);
  // An arrow head on the step shows the direction.
  const int tip = rising ? 3 : 6;
  const int dir = rising ? 1 : -1;
  g.drawPoint(2, tip + dir);
  g.drawPoint(4, tip + dir);
  return p;
}

// The counter seen from the front: a case, its display and a wave on it.
QPixmap Icon(int size) {
  QPixmap p(size, size);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  const double s = size / 32.0;
  g.setPen(QPen(Qt::black, 1));
  g.setBrush(kGrey);
  g.drawRoundedRect(QRectF(1.5, 4.5, size - 3, size - 9), 2 * s, 2 * s);
  g.setBrush(Qt::black);
  g.drawRect(QRectF(4 * s + 0.5, 8 * s + 0.5, 24 * s, 11 * s));
  g.setPen(QPen(QColor(255, 0, 0), size >= 32 ? 2 : 1));
  g.setBrush(Qt::NoBrush);
  g.drawPath(Wave(QRectF(6 * s, 10 * s, 20 * s, 7 * s), 2));
  g.setPen(Qt::NoPen);
  g.setBrush(kDarkRed);
  for (int i = 0; i < 3; ++i) {
    g.drawEllipse(QRectF((6 + 8 * i) * s, 21.5 * s, 4 * s, 4 * s));
  }
  return p;
}

}  // namespace

QPixmap Picture(int resourceId) {
  switch (resourceId) {
    case ids::kPanelIcon:
      return Icon(32);
    case ids::kEmblemPicture:
      return Emblem();
    case ids::kTitlePicture:
      return Title();
    case ids::kNamePictureLeft:
      return Lettering(31, 12, QStringLiteral("Kol"), kDarkRed);
    case ids::kNamePictureRight:
      return Lettering(53, 12, QStringLiteral("vane"), kDarkRed);
    case ids::kRisingEdgePicture:
      return Edge(true);
    case ids::kFallingEdgePicture:
      return Edge(false);
    default:
      return {};
  }
}

QIcon PanelIcon() {
  QIcon icon;
  icon.addPixmap(Icon(32));
  icon.addPixmap(Icon(16));
  return icon;
}

}  // namespace kolvane::qt
