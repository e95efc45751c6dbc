// The panel's window on the desktop, and its picture for screenshots.
#pragma once

#include <functional>
#include <string>

#include "platform/dialog.h"
#include "platform/win32/ui/dialog_window.h"
#include "platform/win32/ui/windows_api.h"

namespace kolvane::win32 {

// Runs a dialog as a top-level window of the desktop, the way the panel runs.
// When the user's session ends, the dialogs over it and then it close, its
// closing sequence runs, and the process ends with status 0.
class Win32DesktopHost : public IModalHost {
 public:
  int RunModal(CDialog& dialog) override;

  // Runs once the window is on screen.
  std::function<void(Win32DialogWindow&)> onShown;
};

// Writes the client area of a window as a 24-bit BMP file; false on failure.
bool SaveClientBitmap(HWND hwnd, const std::wstring& path);

}  // namespace kolvane::win32
