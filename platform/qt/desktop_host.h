// Running the panel as a window of the desktop, and the process signals
// through which other programs reach it.
#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

#include "platform/dialog.h"
#include "platform/qt/dialog_window.h"

class QApplication;
class QSocketNotifier;

namespace kolvane::qt {

// The look every window of the program shares: one widget style and the
// dialog font.
void PrepareApplication(QApplication& app);

// Turns SIGUSR1, SIGUSR2 and the stop signals (SIGTERM, SIGINT, SIGHUP)
// into calls on the user-interface thread: the handler only writes the
// signal number into a pipe that the event loop watches. One relay at a
// time; the previous handlers come back with it.
class SignalRelay {
 public:
  explicit SignalRelay(std::function<void(int signo)> onSignal);
  ~SignalRelay();
  SignalRelay(const SignalRelay&) = delete;
  SignalRelay& operator=(const SignalRelay&) = delete;

 private:
  void Drain();

  std::function<void(int)> onSignal_;
  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

// The private messages the two signals stand for.
inline constexpr unsigned kStopDisplayMessage = WM_USER + 110;  // SIGUSR1
inline constexpr unsigned kUser100Message = WM_USER + 100;      // SIGUSR2

// Runs a dialog as a top-level window of the desktop, the way the panel runs.
// For as long as the host lives, the process signals reach the window it
// runs: SIGUSR1 and SIGUSR2 as the private messages, and a stop signal
// closes the modal dialogs over it and then the window itself, the way
// their close boxes do.
class QtDesktopHost : public IModalHost {
 public:
  QtDesktopHost();
  ~QtDesktopHost() override;

  int RunModal(CDialog& dialog) override;

  // Runs once the window is on screen.
  std::function<void(QtDialogWindow&)> onShown;

 private:
  void OnSignal(int signo);
  void CloseStep();

  QtDialogWindow* window_ = nullptr;
  int windowLoopLevel_ = 0;  // the event-loop level of the window's own loop
  bool closing_ = false;
  SignalRelay relay_;
};

}  // namespace kolvane::qt
