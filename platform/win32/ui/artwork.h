// The panel's pictures and icon, drawn with GDI at their resource sizes.
#pragma once

#include "platform/win32/ui/windows_api.h"

namespace kolvane::win32 {

// A new bitmap of a picture resource, the caller's to delete; nullptr for
// an id that names no picture.
HBITMAP CreatePicture(int resourceId);
// The program icon 128 at size x size pixels (32 or 16), the caller's to destroy.
HICON CreatePanelIcon(int size);
// The program icon at 32 (big) or 16 pixels; a shared resource, made once
// and never destroyed.
HICON PanelIcon(bool big);

}  // namespace kolvane::win32
