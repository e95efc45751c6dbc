// Running a dialog window: the dialog manager's modal loop, the window
// messages turned into the attached dialog's messages, and the message boxes
// it posts to itself.
#include <algorithm>
#include <utility>

#include "platform/win32/ui/artwork.h"
#include "platform/win32/ui/dialog_template.h"
#include "platform/win32/ui/dialog_window.h"
#include "platform/win32/ui/text.h"

namespace kolvane::win32 {

using layout::Kind;

namespace {

// Posted to itself once the window is on screen.
constexpr UINT kShownMessage = WM_APP + 1;
// Posted to itself to show the message boxes asked for.
constexpr UINT kMessageBoxMessage = WM_APP + 2;

// The dialogs running on the thread, the innermost last.
std::vector<Win32DialogWindow*>& Running() {
  static std::vector<Win32DialogWindow*> running;
  return running;
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

int Win32DialogWindow::RunModal(CDialog& dialog) {
  const layout::DialogTemplate* t = layout::FindTemplate(dialog.TemplateId());
  if (t == nullptr) return -1;
  Win32DialogWindow child(*t, hwnd_);
  return child.Run(dialog);
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

void Win32DialogWindow::EndModal(int result) {
  ended_ = true;
  result_ = result;
  if (hwnd_ != nullptr) EndDialog(hwnd_, result);
}

void Win32DialogWindow::Close() {
  // The default route: WM_CLOSE becomes a Cancel click for the dialog.
  if (hwnd_ != nullptr) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

}  // namespace kolvane::win32
