// The page's style and script, built into the program: the page fetches
// nothing from elsewhere.
#pragma once

#include <string_view>

namespace kolvane::web_panel {

extern const std::string_view kStyle;
extern const std::string_view kScript;

}  // namespace kolvane::web_panel
