#include "platform/qt/fonts.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <string>

namespace kolvane::qt {

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

}  // namespace kolvane::qt
