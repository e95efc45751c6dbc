// Base of the panel and its modal dialogs: a template id, the window it is
// attached to, and a message map that routes (message, id, code) to handlers.
#pragma once

#include <span>

#include "platform/window.h"

namespace kolvane {

inline constexpr int kAnyId = -0x7FFF;
inline constexpr int kAnyCode = -0x7FFF;

template <class D>
struct MessageMapEntry {
  unsigned message;
  int id;
  int code;
  void (*call)(D& dialog, const Message& m);
};

template <class D>
bool DispatchThrough(std::span<const MessageMapEntry<D>> map, D& dialog, const Message& m) {
  for (const auto& e : map) {
    if (e.message != m.message) continue;
    if (e.id != kAnyId && e.id != m.id) continue;
    if (e.code != kAnyCode && e.code != m.code) continue;
    e.call(dialog, m);
    return true;
  }
  return false;
}

#define KV_ON_BN_CLICKED(Cls, ctlId, fn)                  \
  {                                                       \
    ::kolvane::WM_COMMAND, ctlId, ::kolvane::BN_CLICKED,  \
        [](Cls& d, const ::kolvane::Message&) { d.fn(); } \
  }
#define KV_ON_BN_CLICKED_ID(Cls, ctlId, fn)                     \
  {                                                             \
    ::kolvane::WM_COMMAND, ctlId, ::kolvane::BN_CLICKED,        \
        [](Cls& d, const ::kolvane::Message& m) { d.fn(m.id); } \
  }
#define KV_ON_LBN_SELCHANGE(Cls, ctlId, fn)                 \
  {                                                         \
    ::kolvane::WM_COMMAND, ctlId, ::kolvane::LBN_SELCHANGE, \
        [](Cls& d, const ::kolvane::Message&) { d.fn(); }   \
  }
#define KV_ON_MESSAGE(Cls, msg, fn)                          \
  {                                                          \
    msg, ::kolvane::kAnyId, ::kolvane::kAnyCode,             \
        [](Cls& d, const ::kolvane::Message& m) { d.fn(m); } \
  }

class CDialog {
 public:
  explicit CDialog(int templateId) : templateId_(templateId) {}
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  int TemplateId() const { return templateId_; }

  // The front end attaches the window it built before OnInitDialog and
  // detaches it when the dialog has ended.
  void Attach(IWindow* window) { window_ = window; }
  bool IsAttached() const { return window_ != nullptr; }
  IWindow& Wnd() { return *window_; }

  virtual bool OnInitDialog() { return true; }
  // Routes a message through the dialog's map; OK and Cancel clicks that the
  // map does not take end the dialog. Returns false when nothing took it.
  bool Dispatch(const Message& m);
  // Colours for one control (kind as WM_CTLCOLOR*: 4 is the dialog itself).
  virtual CtlColors OnCtlColor(int controlId, int kind);
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  void EndDialog(int result);

  // Runs the dialog modally over host, then destroys its window.
  int DoModal(IModalHost& host);
  // Called when the dialog's window goes away, by any route.
  virtual void DestroyWindow() {}

 protected:
  virtual bool DispatchMap(const Message& m) = 0;

 private:
  int templateId_;
  IWindow* window_ = nullptr;
};

// WM_CTLCOLOR kinds.
inline constexpr int CTLCOLOR_EDIT = 1;
inline constexpr int CTLCOLOR_LISTBOX = 2;
inline constexpr int CTLCOLOR_BTN = 3;
inline constexpr int CTLCOLOR_DLG = 4;
inline constexpr int CTLCOLOR_STATIC = 6;

}  // namespace kolvane
