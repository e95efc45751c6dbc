#include "platform/win32/ui/desktop_host.h"

namespace kolvane::win32 {

int Win32DesktopHost::RunModal(CDialog& dialog) {
  const layout::DialogTemplate* t = layout::FindTemplate(dialog.TemplateId());
  if (t == nullptr) return -1;
  Win32DialogWindow window(*t, nullptr);
  window.onEndSession = [&window, &dialog] {
    // The modal loops cannot unwind before the window answers, and the
    // process may not outlive the answer: the rest of the dialog's modal
    // run happens here.
    window.CancelFromTop();
    dialog.DestroyWindow();
    ExitProcess(0);
  };
  return window.Run(dialog, onShown);
}

bool SaveClientBitmap(HWND hwnd, const std::wstring& path) {
  RECT r{};
  if (GetClientRect(hwnd, &r) == FALSE) return false;
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = w;
  header.biHeight = h;  // bottom-up, as BMP files store rows
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  header.biSizeImage = stride * static_cast<DWORD>(h);

  const HDC window = GetDC(hwnd);
  const HDC memory = CreateCompatibleDC(window);
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(window, reinterpret_cast<BITMAPINFO*>(&header),
                                          DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap != nullptr) {
    const HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, w, h, window, 0, 0, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
  }
  DeleteDC(memory);
  ReleaseDC(hwnd, window);

  if (ok) {
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    const HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ok = out != INVALID_HANDLE_VALUE;
    if (ok) {
      DWORD n = 0;
      ok = WriteFile(out, &file, sizeof file, &n, nullptr) != FALSE &&
           WriteFile(out, &header, sizeof header, &n, nullptr) != FALSE &&
           WriteFile(out, bits, header.biSizeImage, &n, nullptr) != FALSE;
      CloseHandle(out);
    }
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  return ok;
}

}  // namespace kolvane::win32
