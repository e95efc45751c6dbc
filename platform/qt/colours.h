// A dialog's control-colour answers applied to the widgets' palettes.
#pragma once

#include <QColor>

#include "platform/window.h"
#include "resources/layout.h"

class QWidget;

namespace kolvane::qt {

QColor ToQColor(ColorRef c);
// The WM_CTLCOLOR* kind a control of this kind asks its colours as.
int ColourKind(layout::Kind k);
// Applies one control-colour answer: the brush fills the control, the text
// colour draws its text. Buttons and arrows keep the system's face and text
// colours, as on Win32, where only the area behind the face takes the brush.
void Paint(QWidget* w, layout::Kind kind, const CtlColors& c);

}  // namespace kolvane::qt
