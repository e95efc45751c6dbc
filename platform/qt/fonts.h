// The faces that stand in for the Win32 fonts the templates and the panel ask for.
#pragma once

#include <QFont>
#include <string_view>

#include "platform/window.h"

namespace kolvane::qt {

// The face that stands in for a Win32 font, sized from its cell height.
QFont MapFont(const FontSpec& request);
// The template font (points at 96 dots per inch).
QFont DialogFont(std::string_view face, int points);

}  // namespace kolvane::qt
