// The panel's pictures and icon, drawn in code at their resource sizes.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kolvane::qt {

// Bitmap or icon resource by id; a null pixmap for an unknown id.
QPixmap Picture(int resourceId);
// The program icon 128 at 32 x 32 and 16 x 16.
QIcon PanelIcon();

}  // namespace kolvane::qt
