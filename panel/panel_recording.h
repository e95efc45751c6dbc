// The recording entry of the panel's system menu. The application hands one
// to the panel before it runs; without it the menu holds About alone.
#pragma once

#include "measure/reading_sink.h"
#include "platform/window.h"

namespace kolvane {

class IPanelRecording : public IReadingSink {
 public:
  // Adds the entry below About; the window serves the entry until closing.
  virtual void AddMenuEntry(IWindow& window) = 0;
  // A system command other than About's; true when it was the entry's.
  virtual bool OnSysCommand(int commandId) = 0;
  // The panel's window is gone: a recording ends and its file is closed.
  virtual void OnPanelClosing() = 0;
};

}  // namespace kolvane
