// A dialog window built with the Win32 dialog manager from a layout
// template: real controls at the template's rectangles, addressed by id;
// only the user's actions and the window messages reach the attached
// dialog through its message map. It is run in modal_loop.cpp, painted in
// painting.cpp, and its controls answer the window seam in dialog_window.cpp.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog.h"
#include "platform/win32/ui/windows_api.h"
#include "platform/window.h"
#include "resources/layout.h"

namespace kolvane::win32 {

// Common controls used by the templates; once per process.
void InitControls();

class Win32DialogWindow : public IWindow {
 public:
  // Without an owner the window is a top-level window of the desktop.
  Win32DialogWindow(const layout::DialogTemplate& dialogTemplate, HWND owner);
  ~Win32DialogWindow() override;
  Win32DialogWindow(const Win32DialogWindow&) = delete;
  Win32DialogWindow& operator=(const Win32DialogWindow&) = delete;

  // Runs the dialog modally: builds the window, attaches the dialog, calls
  // its OnInitDialog and routes messages to it until it ends; detaches it
  // after. onShown runs once the window is on screen.
  int Run(CDialog& dialog, std::function<void(Win32DialogWindow&)> onShown = {});

  // The dialog window while it runs, else nullptr.
  HWND Handle() const { return hwnd_; }
  // Cancels the dialogs that run over this one, top first, then this one,
  // each the way its close box would.
  void CancelFromTop();
  // Runs when the user's session ends; the system may end the process as
  // soon as the window has answered.
  std::function<void()> onEndSession;
  const layout::DialogTemplate& Template() const { return template_; }
  // The window of a numbered control, nullptr when the template has none.
  HWND ControlHandle(int id) const;
  // One window per template control, in template order.
  const std::vector<HWND>& ControlHandles() const { return controls_; }

  // ---- IWindow ----
  int RunModal(CDialog& dialog) override;
  void SetText(int id, std::string_view text) override;
  std::string GetText(int id) const override;
  void ListAddString(int id, std::string_view text) override;
  void ListSetCurSel(int id, int index) override;
  int ListGetCurSel(int id) const override;
  void EnableControl(int id, bool enable) override;
  bool IsControlEnabled(int id) const override;
  int GetCheck(int id) const override;
  void SetCheck(int id, int state) override;
  void SpinSetRange(int id, int lower, int upper) override;
  void SpinSetPos(int id, int pos) override;
  int SpinGetPos(int id) const override;
  void ProgressSetRange(int id, int lower, int upper) override;
  void ProgressSetPos(int id, int pos) override;
  void SetFont(int id, const FontSpec& font) override;
  unsigned SetTimer(unsigned id, unsigned periodMs) override;
  void KillTimer(unsigned id) override;
  void AppendSystemMenuSeparator() override;
  void AppendSystemMenuItem(int commandId, std::string_view text) override;
  void CheckSystemMenuItem(int commandId, bool checked) override;
  std::optional<std::string> AskSaveFileName(std::string_view title,
                                             std::string_view defaultName) override;
  void ShowMessageBox(std::string_view text) override;
  void SetIcon(int iconResource, bool big) override;
  void EndModal(int result) override;
  void Close() override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  BOOL OnInit();
  void Prepare();
  void ReleaseGdi();
  INT_PTR OnCtlColor(UINT msg, HDC dc, HWND control);
  bool OnCommand(WPARAM wParam, LPARAM lParam);
  bool PaintIcon();
  void ShowPendingMessageBoxes();
  // Hands a message to the attached dialog; true when its map took it.
  bool Deliver(const Message& m);

  const layout::Control* Def(int id) const;
  const layout::Control* DefOf(HWND control) const;
  HBRUSH Brush(ColorRef colour);
  HFONT Font(const FontSpec& request);

  const layout::DialogTemplate& template_;
  HWND owner_;
  HWND hwnd_ = nullptr;
  std::vector<HWND> controls_;        // template order
  std::map<int, std::size_t> index_;  // id -> position in the template
  CDialog* dialog_ = nullptr;
  std::function<void(Win32DialogWindow&)> onShown_;
  bool ended_ = false;
  bool shown_ = false;
  int result_ = 0;
  std::vector<std::wstring> pendingBoxes_;  // message boxes posted, not yet shown

  // GDI objects of the window, released once it is gone.
  std::map<ColorRef, HBRUSH> brushes_;
  // The font each control was last given: the same again needs no repaint.
  std::map<int, FontSpec> givenFonts_;
  std::vector<std::pair<FontSpec, HFONT>> fonts_;
  HFONT exponentFont_ = nullptr;
  std::vector<HBITMAP> pictures_;
};

}  // namespace kolvane::win32
