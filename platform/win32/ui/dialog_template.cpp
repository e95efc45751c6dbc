#include "platform/win32/ui/dialog_template.h"

#include <string>

#include "platform/win32/ui/text.h"
#include "resources/ids.h"

namespace kolvane::win32 {

using layout::Kind;
namespace st = layout::style;
namespace ds = layout::dialog_style;

namespace {

class Writer {
 public:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Short(int v) { Word(static_cast<WORD>(static_cast<short>(v))); }
  void Text(std::wstring_view s) {
    for (const wchar_t c : s) Word(static_cast<WORD>(c));
    Word(0);
  }
  void AlignDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  std::vector<DWORD> Finish() {
    AlignDword();
    std::vector<DWORD> out(words_.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = MAKELONG(words_[2 * i], words_[2 * i + 1]);
    }
    return out;
  }

 private:
  std::vector<WORD> words_;
};

}  // namespace

DWORD DialogStyle(const layout::DialogTemplate& dialog) {
  const unsigned s = dialog.styles;
  // Centred like the framework's dialogs; the template's font is the dialog font.
  DWORD style = DS_SETFONT | DS_CENTER;
  if ((s & ds::kPopup) != 0) style |= WS_POPUP;
  if ((s & ds::kCaption) != 0) style |= WS_CAPTION;
  if ((s & ds::kSysMenu) != 0) style |= WS_SYSMENU;
  if ((s & ds::kMinimizeBox) != 0) style |= WS_MINIMIZEBOX;
  if ((s & ds::kMaximizeBox) != 0) style |= WS_MAXIMIZEBOX;
  if ((s & ds::kModalFrame) != 0) style |= DS_MODALFRAME;
  return style;
}

DWORD DialogExStyle(const layout::DialogTemplate& dialog) {
  return (dialog.styles & ds::kAppWindow) != 0 ? WS_EX_APPWINDOW : 0;
}

const wchar_t* ControlClass(Kind kind) {
  switch (kind) {
    case Kind::kFrame:
    case Kind::kPicture:
    case Kind::kStatic:
    case Kind::kSunkenStatic:
    case Kind::kBorderedStatic:
      return L"Static";
    case Kind::kGroupBox:
    case Kind::kRadio:
    case Kind::kCheck:
    case Kind::kPushButton:
    case Kind::kDefPushButton:
      return L"Button";
    case Kind::kEdit:
      return L"Edit";
    case Kind::kListBox:
      return L"ListBox";
    case Kind::kSpin:
      return UPDOWN_CLASSW;
    case Kind::kProgress:
      return PROGRESS_CLASSW;
  }
  return L"Static";
}

bool IsButtonKind(Kind k) {
  return k == Kind::kRadio || k == Kind::kCheck || k == Kind::kPushButton ||
         k == Kind::kDefPushButton;
}

bool IsOneEntryList(const layout::Control& control) {
  // Two entries need two text lines and their spacing.
  return control.kind == Kind::kListBox &&
         layout::ToPixelsY(control.rect.h) < 2 * (layout::kBaseUnitY + 4);
}

DWORD ControlStyle(const layout::Control& c) {
  const unsigned s = c.styles;
  DWORD style = WS_CHILD;
  if ((s & st::kHidden) == 0) style |= WS_VISIBLE;
  if ((s & st::kDisabled) != 0) style |= WS_DISABLED;
  if ((s & st::kGroup) != 0) style |= WS_GROUP;
  if ((s & st::kBorder) != 0) style |= WS_BORDER;
  if ((s & st::kVScroll) != 0) style |= WS_VSCROLL;
  switch (c.kind) {
    case Kind::kFrame:
      style |= SS_BLACKFRAME;
      break;
    case Kind::kPicture:
      style |= c.picture == ids::kPanelIcon ? SS_ICON : SS_BITMAP;
      if ((s & st::kCentreImage) != 0) style |= SS_CENTERIMAGE;
      break;
    case Kind::kStatic:
      style |= SS_LEFT;
      break;
    case Kind::kSunkenStatic:
      // The reading is one line: trailing blanks past the edge must not
      // push its unit onto a second line out of sight.
      style |= SS_LEFTNOWORDWRAP | SS_SUNKEN;
      break;
    case Kind::kBorderedStatic:
      style |= SS_LEFT | WS_BORDER;
      break;
    case Kind::kGroupBox:
      style |= BS_GROUPBOX;
      break;
    case Kind::kEdit:
      style |= ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
      break;
    case Kind::kRadio:
      style |= BS_AUTORADIOBUTTON;
      // The arrow keys move within a group; Tab reaches only its first radio.
      if ((s & st::kGroup) != 0) style |= WS_TABSTOP;
      break;
    case Kind::kCheck:
      style |= BS_AUTOCHECKBOX | WS_TABSTOP;
      break;
    case Kind::kPushButton:
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case Kind::kDefPushButton:
      style |= BS_DEFPUSHBUTTON | WS_TABSTOP;
      break;
    case Kind::kListBox:
      style |= WS_TABSTOP;
      if ((s & st::kNotify) != 0) style |= LBS_NOTIFY;
      if ((s & st::kSorted) != 0) style |= LBS_SORT;
      if (IsOneEntryList(c)) style |= LBS_NOINTEGRALHEIGHT;
      break;
    case Kind::kSpin:
      if ((s & st::kAutoBuddy) != 0) style |= UDS_AUTOBUDDY;
      if ((s & st::kArrowKeys) != 0) style |= UDS_ARROWKEYS;
      break;
    case Kind::kProgress:
      break;
  }
  if (c.kind == Kind::kRadio || c.kind == Kind::kCheck) {
    if ((s & st::kPushLike) != 0) style |= BS_PUSHLIKE;
    if ((s & st::kMultiline) != 0) style |= BS_MULTILINE;
  }
  return style;
}

BYTE TemplateCharset(const layout::DialogTemplate& dialog) {
  return dialog.language == 1049 ? RUSSIAN_CHARSET : DEFAULT_CHARSET;
}

DialogTemplateBuffer::DialogTemplateBuffer(const layout::DialogTemplate& dialog) {
  Writer w;
  w.Word(1);       // dlgVer
  w.Word(0xFFFF);  // signature: DLGTEMPLATEEX
  w.Dword(0);      // helpID
  w.Dword(DialogExStyle(dialog));
  w.Dword(DialogStyle(dialog));
  w.Word(static_cast<WORD>(dialog.controls.size()));
  w.Short(0);
  w.Short(0);
  w.Short(dialog.width);
  w.Short(dialog.height);
  w.Word(0);  // no menu
  w.Word(0);  // the dialog class
  w.Text(Widen(dialog.caption));
  w.Word(static_cast<WORD>(dialog.fontPoints));
  w.Word(FW_NORMAL);
  w.Word(MAKEWORD(FALSE, TemplateCharset(dialog)));  // italic, charset
  w.Text(Widen(dialog.fontFace));

  for (const layout::Control& c : dialog.controls) {
    w.AlignDword();
    w.Dword(0);  // helpID
    w.Dword(0);  // exStyle
    w.Dword(ControlStyle(c));
    w.Short(c.rect.x);
    w.Short(c.rect.y);
    w.Short(c.rect.w);
    w.Short(c.rect.h);
    w.Dword(static_cast<DWORD>(c.id));
    w.Text(ControlClass(c.kind));
    // Pictures get their images after creation; every other control its caption.
    w.Text(c.kind == Kind::kPicture ? std::wstring() : Widen(c.caption));
    w.Word(0);  // no creation data
  }
  storage_ = w.Finish();
}

}  // namespace kolvane::win32
