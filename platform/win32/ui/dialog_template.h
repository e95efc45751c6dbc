// In-memory Win32 dialog templates (DLGTEMPLATEEX) built from the layout
// table, so the Win32 windows and the Qt windows come from the same data.
#pragma once

#include <vector>

#include "platform/win32/ui/windows_api.h"
#include "resources/layout.h"

namespace kolvane::win32 {

// A DLGTEMPLATEEX with its items, DWORD-aligned as the dialog manager wants it.
class DialogTemplateBuffer {
 public:
  explicit DialogTemplateBuffer(const layout::DialogTemplate& dialog);
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(storage_.data()); }
  std::size_t SizeBytes() const { return storage_.size() * sizeof(DWORD); }

 private:
  std::vector<DWORD> storage_;
};

DWORD DialogStyle(const layout::DialogTemplate& dialog);
DWORD DialogExStyle(const layout::DialogTemplate& dialog);
const wchar_t* ControlClass(layout::Kind kind);
DWORD ControlStyle(const layout::Control& control);
// Radios, checks and push buttons: the controls whose clicks are the user's.
bool IsButtonKind(layout::Kind k);
// A list box too low for two entries shows one at a time: its one entry
// fills the box and the scroll arrows flip between the entries.
bool IsOneEntryList(const layout::Control& control);
// The character set of a template's font: a Russian template asks for a
// face with Cyrillic letters.
BYTE TemplateCharset(const layout::DialogTemplate& dialog);

}  // namespace kolvane::win32
