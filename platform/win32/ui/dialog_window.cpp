#include "platform/win32/ui/dialog_window.h"

#include <algorithm>
#include <utility>

#include "platform/win32/ui/artwork.h"
#include "platform/win32/ui/dialog_template.h"
#include "platform/win32/ui/text.h"
#include "resources/ids.h"

namespace kolvane::win32 {

using layout::Kind;
namespace st = layout::style;

namespace {

// Posted to itself once the window is on screen.
constexpr UINT kShownMessage = WM_APP + 1;
// Posted to itself to show the message boxes asked for.
constexpr UINT kMessageBoxMessage = WM_APP + 2;

bool IsButtonKind(Kind k) {
  return k == Kind::kRadio || k == Kind::kCheck || k == Kind::kPushButton ||
         k == Kind::kDefPushButton;
}

bool HasText(Kind k) {
  return k != Kind::kPicture && k != Kind::kFrame && k != Kind::kListBox && k != Kind::kSpin &&
         k != Kind::kProgress;
}

// The dialogs running on the thread, the innermost last.
std::vector<Win32DialogWindow*>& Running() {
  static std::vector<Win32DialogWindow*> running;
  return running;
}

// The program icon is a shared resource: made once, never destroyed.
HICON PanelIcon(bool big) {
  static const HICON bigIcon = CreatePanelIcon(32);
  static const HICON smallIcon = CreatePanelIcon(16);
  return big ? bigIcon : smallIcon;
}

}  // namespace

void InitControls() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

Win32DialogWindow::Win32DialogWindow(const layout::DialogTemplate& dialogTemplate, HWND owner)
    : template_(dialogTemplate), owner_(owner) {
  InitControls();
}

Win32DialogWindow::~Win32DialogWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  ReleaseGdi();
}

int Win32DialogWindow::Run(CDialog& dialog, std::function<void(Win32DialogWindow&)> onShown) {
  dialog_ = &dialog;
  onShown_ = std::move(onShown);
  ended_ = false;
  shown_ = false;
  const DialogTemplateBuffer buffer(template_);
  Running().push_back(this);
  const INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), buffer.Get(), owner_,
                                            DialogProc, reinterpret_cast<LPARAM>(this));
  std::erase(Running(), this);
  if (dialog_ != nullptr) dialog_->Attach(nullptr);
  dialog_ = nullptr;
  hwnd_ = nullptr;
  controls_.clear();
  index_.clear();
  ReleaseGdi();
  return static_cast<int>(r);
}

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

INT_PTR CALLBACK Win32DialogWindow::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Win32DialogWindow* self = nullptr;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<Win32DialogWindow*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<Win32DialogWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (self == nullptr || self->hwnd_ != hwnd) return FALSE;
  return self->OnMessage(msg, wParam, lParam);
}

INT_PTR Win32DialogWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      return OnInit();
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return OnCtlColor(msg, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
      return OnCommand(wParam, lParam) ? TRUE : FALSE;
    case WM_TIMER:
      Deliver({WM_TIMER, static_cast<int>(wParam), 0, 0});
      return TRUE;
    case WM_VSCROLL: {
      const HWND from = reinterpret_cast<HWND>(lParam);
      const int id = from != nullptr ? GetDlgCtrlID(from) : 0;
      return Deliver({WM_VSCROLL, id, LOWORD(wParam), static_cast<short>(HIWORD(wParam))}) ? TRUE
                                                                                           : FALSE;
    }
    case WM_SYSCOMMAND:
      // The system's own commands (0xF000 and up) keep their default handling.
      if ((wParam & 0xFFF0) >= 0xF000) return FALSE;
      Deliver({WM_SYSCOMMAND, static_cast<int>(wParam), 0, 0});
      return TRUE;
    case WM_PAINT:
      return PaintIcon() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(PanelIcon(true));
    case WM_SHOWWINDOW:
      if (wParam != FALSE && !shown_) {
        shown_ = true;
        PostMessageW(hwnd_, kShownMessage, 0, 0);
      }
      return FALSE;
    case kMessageBoxMessage:
      ShowPendingMessageBoxes();
      return TRUE;
    case kShownMessage:
      if (onShown_ && !ended_) onShown_(*this);
      return TRUE;
    case WM_ENDSESSION:
      // WM_QUERYENDSESSION keeps its default answer: the session may end.
      if (wParam != FALSE && onEndSession) onEndSession();
      return FALSE;
    default:
      break;
  }
  // The private messages other programs post to the window.
  if (msg >= WM_USER && msg < WM_APP && Deliver({msg, 0, 0, 0})) {
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);
    return TRUE;
  }
  return FALSE;
}

BOOL Win32DialogWindow::OnInit() {
  // The dialog manager creates the controls in template order.
  std::vector<HWND> children;
  for (HWND c = GetWindow(hwnd_, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    children.push_back(c);
  }
  controls_.assign(template_.controls.size(), nullptr);
  for (std::size_t i = 0; i < template_.controls.size(); ++i) {
    const int id = template_.controls[i].id;
    if (children.size() == controls_.size() && GetDlgCtrlID(children[i]) == id) {
      controls_[i] = children[i];
    } else if (id != -1) {
      controls_[i] = GetDlgItem(hwnd_, id);
    }
    if (id != -1) index_.emplace(id, i);
  }
  Prepare();
  if (dialog_ == nullptr) return TRUE;
  dialog_->Attach(this);
  // As the framework does, the answer only says whether the system sets the focus.
  return dialog_->OnInitDialog() ? TRUE : FALSE;
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

bool Win32DialogWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  const HWND from = reinterpret_cast<HWND>(lParam);
  const layout::Control* c = from != nullptr ? DefOf(from) : nullptr;
  // Only the user's clicks and selections; the notifications that a
  // program's own changes cause (an edit's EN_CHANGE) stay here.
  bool user = false;
  if (code == BN_CLICKED) {
    user = from == nullptr || c == nullptr || IsButtonKind(c->kind);
  } else if (code == LBN_SELCHANGE) {
    user = c != nullptr && c->kind == Kind::kListBox;
  }
  return user && Deliver({WM_COMMAND, id, code, 0});
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

void Win32DialogWindow::CancelFromTop() {
  const std::vector<Win32DialogWindow*>& running = Running();
  const auto self = std::find(running.begin(), running.end(), this);
  if (self == running.end()) return;
  // A copy: an ended dialog leaves the list only once its loop returns.
  const std::vector<Win32DialogWindow*> upward(self, running.end());
  for (auto it = upward.rbegin(); it != upward.rend(); ++it) {
    (*it)->Deliver({WM_COMMAND, IDCANCEL, BN_CLICKED, 0});
  }
}

bool Win32DialogWindow::Deliver(const Message& m) {
  return dialog_ != nullptr && dialog_->Dispatch(m);
}

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

int Win32DialogWindow::RunModal(CDialog& dialog) {
  const layout::DialogTemplate* t = layout::FindTemplate(dialog.TemplateId());
  if (t == nullptr) return -1;
  Win32DialogWindow child(*t, hwnd_);
  return child.Run(dialog);
}

void Win32DialogWindow::SetText(int id, std::string_view text) {
  const layout::Control* c = Def(id);
  const HWND w = ControlHandle(id);
  if (c == nullptr || w == nullptr || !HasText(c->kind)) return;
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
  if (const HWND w = ControlHandle(id)) {
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(Font(font)), TRUE);
  }
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

void Win32DialogWindow::ShowMessageBox(std::string_view text) {
  // Shown from a message of its own, so that a caller inside the poll cycle
  // returns at once and the timer runs again while the box waits.
  if (hwnd_ == nullptr) return;
  pendingBoxes_.push_back(Widen(text));
  PostMessageW(hwnd_, kMessageBoxMessage, 0, 0);
}

void Win32DialogWindow::ShowPendingMessageBoxes() {
  while (!pendingBoxes_.empty() && hwnd_ != nullptr) {
    const std::wstring text = std::move(pendingBoxes_.front());
    pendingBoxes_.erase(pendingBoxes_.begin());
    MessageBoxW(hwnd_, text.c_str(), L"Kolvane", MB_OK | MB_ICONWARNING);
  }
}

void Win32DialogWindow::SetIcon(int iconResource, bool big) {
  if (hwnd_ == nullptr || iconResource != ids::kPanelIcon) return;
  SendMessageW(hwnd_, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
               reinterpret_cast<LPARAM>(PanelIcon(big)));
}

void Win32DialogWindow::EndModal(int result) {
  ended_ = true;
  result_ = result;
  if (hwnd_ != nullptr) EndDialog(hwnd_, result);
}

void Win32DialogWindow::Close() {
  // The default route: WM_CLOSE becomes a Cancel click for the dialog.
  if (hwnd_ != nullptr) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

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
