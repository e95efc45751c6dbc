#include "platform/qt/desktop_host.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <iterator>

#include "platform/qt/fonts.h"

namespace kolvane::qt {

void PrepareApplication(QApplication& app) {
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
  QApplication::setFont(DialogFont("MS Sans Serif", 8));
}

namespace {

volatile std::sig_atomic_t gWriteFd = -1;

extern "C" void OnRelayedSignal(int signo) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signo);
  if (gWriteFd >= 0) {
    [[maybe_unused]] const ssize_t n = write(gWriteFd, &byte, 1);
  }
  errno = savedErrno;
}

constexpr int kRelayed[] = {SIGUSR1, SIGUSR2, SIGTERM, SIGINT, SIGHUP};
constexpr int kRelayedCount = static_cast<int>(std::size(kRelayed));

// While a stop signal's close waits for nested loops to end.
constexpr int kCloseRetryMs = 10;

}  // namespace

struct SignalRelay::Saved {
  struct sigaction actions[kRelayedCount];
  int writeFd = -1;
};

SignalRelay::SignalRelay(std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)), saved_(std::make_unique<Saved>()) {
  if (pipe(fds_) != 0) return;
  for (const int fd : fds_) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  saved_->writeFd = gWriteFd;
  gWriteFd = fds_[1];
  notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { Drain(); });
  struct sigaction sa {};
  sa.sa_handler = OnRelayedSignal;
  sigemptyset(&sa.sa_mask);
  // Blocking calls interrupted by the signal carry on where they can.
  sa.sa_flags = SA_RESTART;
  for (int i = 0; i < kRelayedCount; ++i) sigaction(kRelayed[i], &sa, &saved_->actions[i]);
}

SignalRelay::~SignalRelay() {
  if (fds_[0] < 0) return;
  for (int i = 0; i < kRelayedCount; ++i) sigaction(kRelayed[i], &saved_->actions[i], nullptr);
  gWriteFd = saved_->writeFd;
  notifier_.reset();
  close(fds_[0]);
  close(fds_[1]);
}

void SignalRelay::Drain() {
  unsigned char buffer[64];
  ssize_t n;
  while ((n = read(fds_[0], buffer, sizeof buffer)) > 0) {
    for (ssize_t i = 0; i < n; ++i) onSignal_(buffer[i]);
  }
}

QtDesktopHost::QtDesktopHost() : relay_([this](int signo) { OnSignal(signo); }) {}

QtDesktopHost::~QtDesktopHost() = default;

int QtDesktopHost::RunModal(CDialog& dialog) {
  const layout::DialogTemplate* t = layout::FindTemplate(dialog.TemplateId());
  if (t == nullptr) return -1;
  QtDialogWindow window(*t, nullptr);
  window_ = &window;
  windowLoopLevel_ = QThread::currentThread()->loopLevel() + 1;
  // A stop signal that came before the window did closes it once it runs.
  if (closing_) QTimer::singleShot(0, &window.Widget(), [this] { CloseStep(); });
  const int result = window.Run(dialog, onShown);
  window_ = nullptr;
  return result;
}

void QtDesktopHost::OnSignal(int signo) {
  if (signo == SIGUSR1 || signo == SIGUSR2) {
    // With no window running (the closing sequence) there is no one to tell.
    if (window_ != nullptr) {
      window_->Deliver({signo == SIGUSR1 ? kStopDisplayMessage : kUser100Message, 0, 0, 0});
    }
    return;
  }
  // A second stop signal changes nothing.
  if (closing_) return;
  closing_ = true;
  CloseStep();
}

void QtDesktopHost::CloseStep() {
  if (window_ == nullptr || window_->Ended()) return;
  QWidget* panel = &window_->Widget();
  if (QWidget* popup = QApplication::activePopupWidget()) {
    popup->close();
  } else if (QWidget* modal = QApplication::activeModalWidget();
             modal != nullptr && modal != panel) {
    modal->close();
  } else if (QThread::currentThread()->loopLevel() <= windowLoopLevel_) {
    // Nothing is left over the window and its handlers have returned: the
    // close box's own route, so the dialog ends and its closing sequence runs.
    panel->close();
    return;
  }
  // A closed dialog's loop ends, and the handler that opened it returns,
  // only once this call is over.
  QTimer::singleShot(kCloseRetryMs, panel, [this] { CloseStep(); });
}

}  // namespace kolvane::qt
