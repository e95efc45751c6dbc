// A dialog window's looks: the dialog's control colours, the fonts it asks
// for, the pictures and the icon, and the GDI objects they take.
#include <algorithm>

#include "platform/win32/ui/artwork.h"
#include "platform/win32/ui/dialog_template.h"
#include "platform/win32/ui/dialog_window.h"
#include "platform/win32/ui/text.h"
#include "resources/ids.h"

namespace kolvane::win32 {

using layout::Kind;
namespace st = layout::style;

void Win32DialogWindow::ReleaseGdi() {
  for (auto& [colour, brush] : brushes_) DeleteObject(brush);
  brushes_.clear();
  for (auto& [request, font] : fonts_) DeleteObject(font);
  fonts_.clear();
  if (exponentFont_ != nullptr) DeleteObject(exponentFont_);
  exponentFont_ = nullptr;
  for (HBITMAP b : pictures_) DeleteObject(b);
  pictures_.clear();
}

void Win32DialogWindow::Prepare() {
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const layout::Control& c = template_.controls[i];
    const HWND w = controls_[i];
    if (w == nullptr) continue;
    if (c.kind == Kind::kPicture) {
      if (c.picture == ids::kPanelIcon) {
        SendMessageW(w, STM_SETICON, reinterpret_cast<WPARAM>(PanelIcon(true)), 0);
      } else if (const HBITMAP b = CreatePicture(c.picture)) {
        pictures_.push_back(b);
        SendMessageW(w, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(b));
      }
    } else if (c.kind == Kind::kStatic && (c.styles & st::kExponent) != 0) {
      if (exponentFont_ == nullptr) {
        LOGFONTW lf{};
        const auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
        if (dialogFont == nullptr || GetObjectW(dialogFont, sizeof lf, &lf) == 0) continue;
        lf.lfHeight = lf.lfHeight * 3 / 4;
        lf.lfWidth = 0;
        exponentFont_ = CreateFontIndirectW(&lf);
      }
      SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(exponentFont_), FALSE);
    } else if (IsOneEntryList(c)) {
      RECT r{};
      GetClientRect(w, &r);
      const LPARAM height = std::clamp<LPARAM>(r.bottom - r.top, 1, 255);
      SendMessageW(w, LB_SETITEMHEIGHT, 0, height);
    }
  }
}

INT_PTR Win32DialogWindow::OnCtlColor(UINT msg, HDC dc, HWND control) {
  if (dialog_ == nullptr) return FALSE;
  // WM_CTLCOLORMSGBOX..WM_CTLCOLORSTATIC carry the CTLCOLOR_* kinds in order.
  const int kind = static_cast<int>(msg - WM_CTLCOLORMSGBOX);
  int id = 0;
  if (control != hwnd_) {
    const layout::Control* c = DefOf(control);
    id = c != nullptr ? c->id : GetDlgCtrlID(control);
  }
  const CtlColors colours = dialog_->OnCtlColor(id, kind);
  if (!colours.custom && !colours.ownBrush) return FALSE;
  // The framework's brush is the system's answer for this kind of control.
  const HBRUSH brush =
      colours.ownBrush
          ? Brush(colours.brush)
          : reinterpret_cast<HBRUSH>(DefWindowProcW(hwnd_, msg, reinterpret_cast<WPARAM>(dc),
                                                    reinterpret_cast<LPARAM>(control)));
  if (colours.custom) {
    SetBkColor(dc, colours.textBk);
    SetTextColor(dc, colours.text);
  }
  return reinterpret_cast<INT_PTR>(brush);
}

bool Win32DialogWindow::PaintIcon() {
  if (!IsIconic(hwnd_)) return false;
  PAINTSTRUCT ps{};
  const HDC dc = BeginPaint(hwnd_, &ps);
  SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int cx = GetSystemMetrics(SM_CXICON);
  const int cy = GetSystemMetrics(SM_CYICON);
  RECT r{};
  GetClientRect(hwnd_, &r);
  DrawIcon(dc, (r.right - r.left - cx + 1) / 2, (r.bottom - r.top - cy + 1) / 2, PanelIcon(true));
  EndPaint(hwnd_, &ps);
  return true;
}

HBRUSH Win32DialogWindow::Brush(ColorRef colour) {
  HBRUSH& b = brushes_[colour];
  if (b == nullptr) b = CreateSolidBrush(colour);
  return b;
}

HFONT Win32DialogWindow::Font(const FontSpec& request) {
  for (const auto& [s, f] : fonts_) {
    if (s == request) return f;
  }
  const HFONT f =
      CreateFontW(request.height, request.width, 0, 0, request.weight, FALSE, FALSE, FALSE,
                  ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                  static_cast<BYTE>(request.pitchAndFamily), Widen(request.face).c_str());
  fonts_.emplace_back(request, f);
  return f;
}

}  // namespace kolvane::win32
