// Dialog templates: every window's controls as pure data, with the meaning
// a Win32 dialog template gives them, so that any front end can build the
// windows from the same table. Rectangles are in dialog units.
#pragma once

#include <span>
#include <string_view>

namespace kolvane::layout {

enum class Kind {
  kFrame,           // SS_BLACKFRAME
  kPicture,         // SS_BITMAP, or SS_ICON for an icon resource
  kStatic,          // SS_LEFT text
  kSunkenStatic,    // SS_LEFT | SS_SUNKEN
  kBorderedStatic,  // SS_LEFT | WS_BORDER
  kGroupBox,        // BS_GROUPBOX
  kEdit,            // ES_AUTOHSCROLL edit
  kRadio,           // BS_AUTORADIOBUTTON
  kCheck,           // BS_AUTOCHECKBOX
  kPushButton,      // BS_PUSHBUTTON
  kDefPushButton,   // BS_DEFPUSHBUTTON
  kListBox,
  kSpin,      // up-down control
  kProgress,  // progress bar
};

// Control styles.
namespace style {
inline constexpr unsigned kHidden = 1u << 0;        // created without WS_VISIBLE
inline constexpr unsigned kDisabled = 1u << 1;      // WS_DISABLED
inline constexpr unsigned kGroup = 1u << 2;         // WS_GROUP
inline constexpr unsigned kPushLike = 1u << 3;      // BS_PUSHLIKE
inline constexpr unsigned kMultiline = 1u << 4;     // BS_MULTILINE
inline constexpr unsigned kSorted = 1u << 5;        // LBS_SORT
inline constexpr unsigned kNotify = 1u << 6;        // LBS_NOTIFY
inline constexpr unsigned kVScroll = 1u << 7;       // WS_VSCROLL
inline constexpr unsigned kBorder = 1u << 8;        // WS_BORDER
inline constexpr unsigned kAutoBuddy = 1u << 9;     // UDS_AUTOBUDDY: the control before it
inline constexpr unsigned kArrowKeys = 1u << 10;    // UDS_ARROWKEYS
inline constexpr unsigned kCentreImage = 1u << 11;  // SS_CENTERIMAGE
// A raised exponent beside a "10": the front end sets it in a smaller font
// (on Win32 through WM_SETFONT after creation).
inline constexpr unsigned kExponent = 1u << 12;
}  // namespace style

// Dialog styles.
namespace dialog_style {
inline constexpr unsigned kPopup = 1u << 0;        // WS_POPUP
inline constexpr unsigned kCaption = 1u << 1;      // WS_CAPTION
inline constexpr unsigned kSysMenu = 1u << 2;      // WS_SYSMENU: system menu and close box
inline constexpr unsigned kMinimizeBox = 1u << 3;  // WS_MINIMIZEBOX
inline constexpr unsigned kMaximizeBox = 1u << 4;  // WS_MAXIMIZEBOX
inline constexpr unsigned kModalFrame = 1u << 5;   // DS_MODALFRAME
inline constexpr unsigned kAppWindow = 1u << 6;    // WS_EX_APPWINDOW
}  // namespace dialog_style

struct Rect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  bool operator==(const Rect&) const = default;
};

struct Control {
  int id;  // -1 for an unnumbered control
  Kind kind;
  std::string_view caption;  // UTF-8
  Rect rect;                 // dialog units
  unsigned styles;           // style:: flags
  int picture;               // bitmap or icon resource of a picture, else 0
  int group;                 // first radio of the radio group it belongs to, else 0
};

struct DialogTemplate {
  int id;
  std::string_view caption;
  int width;  // dialog units
  int height;
  unsigned styles;  // dialog_style:: flags
  std::string_view fontFace;
  int fontPoints;
  int language;  // 1049 Russian, 1033 English
  std::span<const Control> controls;
};

// The base units of the 8-point dialog font: 6 x 13 pixels, so one dialog
// unit is 1.5 pixels across and 1.625 pixels down, rounded as MulDiv does.
inline constexpr int kBaseUnitX = 6;
inline constexpr int kBaseUnitY = 13;
constexpr int ToPixelsX(int du) {
  return du >= 0 ? (du * kBaseUnitX + 2) / 4 : -((-du * kBaseUnitX + 2) / 4);
}
constexpr int ToPixelsY(int du) {
  return du >= 0 ? (du * kBaseUnitY + 4) / 8 : -((-du * kBaseUnitY + 4) / 8);
}
constexpr Rect ToPixels(const Rect& r) {
  return {ToPixelsX(r.x), ToPixelsY(r.y), ToPixelsX(r.w), ToPixelsY(r.h)};
}

std::span<const DialogTemplate> Templates();
// nullptr when no template has that id.
const DialogTemplate* FindTemplate(int id);
// The first control with that id, nullptr when there is none.
const Control* FindControl(const DialogTemplate& dialog, int id);

}  // namespace kolvane::layout
