// The window seam: the control operations the logic needs of a dialog
// window, addressed by control id. Texts are UTF-8. Programmatic changes
// never produce notifications; only user actions do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kolvane {

class CDialog;

// Window messages and notification codes, with their Win32 values.
inline constexpr unsigned WM_COMMAND = 0x0111;
inline constexpr unsigned WM_SYSCOMMAND = 0x0112;
inline constexpr unsigned WM_TIMER = 0x0113;
inline constexpr unsigned WM_VSCROLL = 0x0115;
inline constexpr unsigned WM_HSCROLL = 0x0114;
inline constexpr unsigned WM_USER = 0x0400;

inline constexpr int BN_CLICKED = 0;
inline constexpr int LBN_SELCHANGE = 1;

inline constexpr int SB_THUMBPOSITION = 4;
inline constexpr int SB_ENDSCROLL = 8;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// One message as the front end delivers it to a dialog.
struct Message {
  unsigned message = 0;  // WM_...
  int id = 0;            // control id (WM_COMMAND, WM_VSCROLL), timer id, or command id
  int code = 0;          // notification code or scroll code
  int pos = 0;           // scroll position, where the message carries one
};

struct FontSpec {
  int height = 0;  // cell height in pixels, as CreateFontA takes it
  int width = 0;
  int weight = 400;
  int pitchAndFamily = 0;
  std::string face;
  bool operator==(const FontSpec&) const = default;
};

// RGB as COLORREF: red in the low byte.
using ColorRef = std::uint32_t;
inline constexpr ColorRef Rgb(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}

// What a dialog's control-colour handling decided for one control.
struct CtlColors {
  bool custom = false;    // false: the framework's colours throughout
  bool ownBrush = false;  // false: the framework's brush
  ColorRef brush = 0;     // background fill when ownBrush
  ColorRef textBk = 0;    // text background
  ColorRef text = 0;      // text colour
};

class IModalHost {
 public:
  virtual ~IModalHost() = default;
  // Runs a dialog modally over this host and returns its result. The front
  // end builds the dialog's template, attaches it, calls its OnInitDialog
  // and routes the user's actions to it until it ends.
  virtual int RunModal(CDialog& dialog) = 0;
};

class IWindow : public IModalHost {
 public:
  virtual void SetText(int id, std::string_view text) = 0;
  virtual std::string GetText(int id) const = 0;

  virtual void ListAddString(int id, std::string_view text) = 0;
  // An index outside the list clears the selection (LB_SETCURSEL).
  virtual void ListSetCurSel(int id, int index) = 0;
  // -1 when nothing is selected (LB_ERR).
  virtual int ListGetCurSel(int id) const = 0;

  virtual void EnableControl(int id, bool enable) = 0;
  virtual bool IsControlEnabled(int id) const = 0;

  // Radio buttons and check boxes: 0 unchecked, 1 checked.
  virtual int GetCheck(int id) const = 0;
  virtual void SetCheck(int id, int state) = 0;

  // Up-down controls; a position outside the range is clamped.
  virtual void SpinSetRange(int id, int lower, int upper) = 0;
  virtual void SpinSetPos(int id, int pos) = 0;
  virtual int SpinGetPos(int id) const = 0;

  // Progress bar; a position outside the range is clamped.
  virtual void ProgressSetRange(int id, int lower, int upper) = 0;
  virtual void ProgressSetPos(int id, int pos) = 0;

  virtual void SetFont(int id, const FontSpec& font) = 0;

  // Window timer: returns the timer id; a new SetTimer with the same id
  // replaces the running one.
  virtual unsigned SetTimer(unsigned id, unsigned periodMs) = 0;
  virtual void KillTimer(unsigned id) = 0;

  // System menu of the window.
  virtual void AppendSystemMenuSeparator() = 0;
  virtual void AppendSystemMenuItem(int commandId, std::string_view text) = 0;
  // Shows or clears the check mark beside an entry of the system menu.
  virtual void CheckSystemMenuItem(int commandId, bool checked) = 0;
  virtual void SetIcon(int iconResource, bool big) = 0;

  // The platform's dialog for saving a file, over this window, offering
  // `defaultName` in the user's documents folder; the chosen path (UTF-8),
  // or nothing when the user cancelled.
  virtual std::optional<std::string> AskSaveFileName(std::string_view title,
                                                     std::string_view defaultName) = 0;
  // A warning in a message box over this window. It returns at once: the
  // window goes on working while the box waits to be dismissed.
  virtual void ShowMessageBox(std::string_view text) = 0;

  // Ends the modal loop of this window with the given result.
  virtual void EndModal(int result) = 0;
  // Asks for the window to be closed by the default route of a dialog.
  virtual void Close() = 0;
};

}  // namespace kolvane
