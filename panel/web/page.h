// The front panel as a web page: the dialog templates drawn as HTML at their
// rectangles, for a script that only shows the panel model's state and sends
// the user's clicks back. No rule of the panel lives here or in the script.
#pragma once

#include <string>
#include <string_view>

#include "resources/layout.h"

namespace kolvane::web_panel {

// Pixels per dialog unit, across and down alike, so that the page is the
// template as one picture.
inline constexpr int kScale = 2;
// Where the panel's dialog-unit origin sits in the page, in pixels.
inline constexpr int kOriginX = 8;
inline constexpr int kOriginY = 40;

// The accessible name of a control: its caption, or for one without (the
// radios, the filter and slope boxes, Start) the label right after it in the
// template, as a person reads the panel.
std::string AccessibleName(const layout::DialogTemplate& dialog, std::size_t index);

// One template's controls as HTML elements inside a box of its size.
// Mode dialogs come out hidden, for the script to show in the page that
// clicked.
std::string TemplateHtml(const layout::DialogTemplate& dialog);

// The whole page: the panel (template 102), the mode dialogs' templates, the
// message-box dialog, and the style and script, nothing fetched from
// elsewhere.
std::string PanelPage(std::string_view title);

std::string Escape(std::string_view text);

}  // namespace kolvane::web_panel
