#include "platform/win32/ui/dialog_window.h"

#include <algorithm>
#include <vector>

#include "platform/win32/ui/artwork.h"
#include "platform/win32/ui/dialog_template.h"
#include "platform/win32/ui/text.h"
#include "resources/ids.h"

namespace kolvane::win32 {

using layout::Kind;

namespace {

bool HasText(Kind k) {
  return k != Kind::kPicture && k != Kind::kFrame && k != Kind::kListBox && k != Kind::kSpin &&
         k != Kind::kProgress;
}

}  // namespace

const layout::Control* Win32DialogWindow::Def(int id) const {
  const auto it = index_.find(id);
  return it == index_.end() ? nullptr : &template_.controls[it->second];
}

const layout::Control* Win32DialogWindow::DefOf(HWND control) const {
  const auto it = std::find(controls_.begin(), controls_.end(), control);
  if (it == controls_.end()) return nullptr;
  return &template_.controls[static_cast<std::size_t>(it - controls_.begin())];
}

HWND Win32DialogWindow::ControlHandle(int id) const {
  const auto it = index_.find(id);
  return it == index_.end() ? nullptr : controls_[it->second];
}

void Win32DialogWindow::SetText(int id, std::string_view text) {
  const layout::Control* c = Def(id);
  const HWND w = ControlHandle(id);
  if (c == nullptr || w == nullptr || !HasText(c->kind)) return;
  // The panel sets each reading twice; the same text again would only be
  // painted again.
  if (GetText(id) == text) return;
  SetWindowTextW(w, Widen(text).c_str());
}

std::string Win32DialogWindow::GetText(int id) const {
  const layout::Control* c = Def(id);
  const HWND w = ControlHandle(id);
  if (c == nullptr || w == nullptr || !HasText(c->kind)) return {};
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
  const int n = GetWindowTextW(w, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(n, 0)));
  return Narrow(text);
}

void Win32DialogWindow::ListAddString(int id, std::string_view text) {
  const layout::Control* c = Def(id);
  if (c == nullptr || c->kind != Kind::kListBox) return;
  const std::wstring t = Widen(text);
  SendMessageW(ControlHandle(id), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
}

void Win32DialogWindow::ListSetCurSel(int id, int index) {
  const layout::Control* c = Def(id);
  if (c == nullptr || c->kind != Kind::kListBox) return;
  const HWND w = ControlHandle(id);
  const auto count = static_cast<int>(SendMessageW(w, LB_GETCOUNT, 0, 0));
  // An index past the end would leave the old selection; -1 clears it.
  SendMessageW(w, LB_SETCURSEL, index >= 0 && index < count ? index : -1, 0);
}

int Win32DialogWindow::ListGetCurSel(int id) const {
  const layout::Control* c = Def(id);
  if (c == nullptr || c->kind != Kind::kListBox) return -1;
  const auto sel = static_cast<int>(SendMessageW(ControlHandle(id), LB_GETCURSEL, 0, 0));
  return sel == LB_ERR ? -1 : sel;
}

void Win32DialogWindow::EnableControl(int id, bool enable) {
  if (const HWND w = ControlHandle(id)) EnableWindow(w, enable ? TRUE : FALSE);
}

bool Win32DialogWindow::IsControlEnabled(int id) const {
  const HWND w = ControlHandle(id);
  return w != nullptr && IsWindowEnabled(w) != FALSE;
}

int Win32DialogWindow::GetCheck(int id) const {
  const layout::Control* c = Def(id);
  if (c == nullptr || !IsButtonKind(c->kind)) return 0;
  return SendMessageW(ControlHandle(id), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void Win32DialogWindow::SetCheck(int id, int state) {
  const layout::Control* c = Def(id);
  if (c == nullptr || (c->kind != Kind::kRadio && c->kind != Kind::kCheck)) return;
  SendMessageW(ControlHandle(id), BM_SETCHECK, state != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32DialogWindow::SpinSetRange(int id, int lower, int upper) {
  const layout::Control* c = Def(id);
  if (c == nullptr || c->kind != Kind::kSpin) return;
  SendMessageW(ControlHandle(id), UDM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void Win32DialogWindow::SpinSetPos(int id, int pos) {
  const layout::Control* c = Def(id);
  if (c == nullptr || c->kind != Kind::kSpin) return;
  const HWND w = ControlHandle(id);
  int lower = 0;
  int upper = 0;
  SendMessageW(w, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
               reinterpret_cast<LPARAM>(&upper));
  const int clamped = std::clamp(pos, std::min(lower, upper), std::max(lower, upper));
  SendMessageW(w, UDM_SETPOS32, 0, clamped);
}

int Win32DialogWindow::SpinGetPos(int id) const {
  const layout::Control* c = Def(id);
  if (c == nullptr || c->kind != Kind::kSpin) return 0;
  BOOL failed = FALSE;
  return static_cast<int>(
      SendMessageW(ControlHandle(id), UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
}

void Win32DialogWindow::ProgressSetRange(int id, int lower, int upper) {
  const layout::Control* c = Def(id);
  if (c == nullptr || c->kind != Kind::kProgress) return;
  SendMessageW(ControlHandle(id), PBM_SETRANGE32, static_cast<WPARAM>(std::min(lower, upper)),
               std::max(lower, upper));
}

void Win32DialogWindow::ProgressSetPos(int id, int pos) {
  const layout::Control* c = Def(id);
  if (c == nullptr || c->kind != Kind::kProgress) return;
  SendMessageW(ControlHandle(id), PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void Win32DialogWindow::SetFont(int id, const FontSpec& font) {
  const HWND w = ControlHandle(id);
  if (w == nullptr) return;
  const auto [it, added] = givenFonts_.try_emplace(id, font);
  if (!added && it->second == font) return;
  it->second = font;
  SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(Font(font)), TRUE);
}

unsigned Win32DialogWindow::SetTimer(unsigned id, unsigned periodMs) {
  if (hwnd_ == nullptr) return 0;
  return static_cast<unsigned>(::SetTimer(hwnd_, id, std::max(1u, periodMs), nullptr));
}

void Win32DialogWindow::KillTimer(unsigned id) {
  if (hwnd_ != nullptr) ::KillTimer(hwnd_, id);
}

void Win32DialogWindow::AppendSystemMenuSeparator() {
  if (const HMENU menu = hwnd_ != nullptr ? GetSystemMenu(hwnd_, FALSE) : nullptr) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  }
}

void Win32DialogWindow::AppendSystemMenuItem(int commandId, std::string_view text) {
  if (const HMENU menu = hwnd_ != nullptr ? GetSystemMenu(hwnd_, FALSE) : nullptr) {
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(commandId), Widen(text).c_str());
  }
}

void Win32DialogWindow::CheckSystemMenuItem(int commandId, bool checked) {
  if (const HMENU menu = hwnd_ != nullptr ? GetSystemMenu(hwnd_, FALSE) : nullptr) {
    CheckMenuItem(menu, static_cast<UINT>(commandId),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
}

std::optional<std::string> Win32DialogWindow::AskSaveFileName(std::string_view title,
                                                              std::string_view defaultName) {
  wchar_t documents[MAX_PATH] = {};
  const bool haveDocuments =
      SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents));
  const std::wstring name = Widen(defaultName);
  const std::size_t dot = name.rfind(L'.');
  const std::wstring ext = dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
  // Pairs of description and pattern, each ending in a NUL, and one more NUL.
  std::wstring filter;
  if (!ext.empty()) filter += L"*." + ext + L'\0' + L"*." + ext + L'\0';
  filter += std::wstring(L"*.*") + L'\0' + L"*.*" + L'\0';
  std::vector<wchar_t> file(32768, L'\0');
  std::copy_n(name.begin(), std::min(name.size(), file.size() - 1), file.begin());
  const std::wstring caption = Widen(title);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = haveDocuments ? documents : nullptr;
  ofn.lpstrTitle = caption.c_str();
  ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (GetSaveFileNameW(&ofn) == FALSE) return std::nullopt;
  return Narrow(file.data());
}

void Win32DialogWindow::SetIcon(int iconResource, bool big) {
  if (hwnd_ == nullptr || iconResource != ids::kPanelIcon) return;
  SendMessageW(hwnd_, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
               reinterpret_cast<LPARAM>(PanelIcon(big)));
}

}  // namespace kolvane::win32
