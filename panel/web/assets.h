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

// The /readings page's: its style, its body's markup and its script.
extern const std::string_view kReadingsStyle;
extern const std::string_view kReadingsBody;
extern const std::string_view kReadingsScript;
// Chart.js (MIT), Debian's libjs-chart.js's chart.min.js, copied in at build
// time (cmake/embed.cmake).
extern const std::string_view kChartJs;

}  // namespace kolvane::web_panel
