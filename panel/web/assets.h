// The page's style and script, built into the program: the page fetches
// nothing from elsewhere.
#pragma once

#include <string_view>

namespace kolvane::web_panel {

extern const std::string_view kStyle;
extern const std::string_view kScript;

// The panel's artwork as inline SVG, drawn to the desktop pictures' sizes;
// empty for a resource it does not know.
std::string_view PictureSvg(int resourceId);

}  // namespace kolvane::web_panel
