#include "platform/qt/desktop_host.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <cerrno>
#include <csignal>

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

constexpr int kRelayed[] = {SIGUSR1, SIGUSR2};

}  // namespace

struct SignalRelay::Saved {
  struct sigaction actions[2];
};

SignalRelay::SignalRelay(std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)), saved_(std::make_unique<Saved>()) {
  if (pipe(fds_) != 0) return;
  for (const int fd : fds_) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  gWriteFd = fds_[1];
  notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { Drain(); });
  struct sigaction sa {};
  sa.sa_handler = OnRelayedSignal;
  sigemptyset(&sa.sa_mask);
  // Blocking calls interrupted by the signal carry on where they can.
  sa.sa_flags = SA_RESTART;
  for (int i = 0; i < 2; ++i) sigaction(kRelayed[i], &sa, &saved_->actions[i]);
}

SignalRelay::~SignalRelay() {
  if (fds_[0] < 0) return;
  for (int i = 0; i < 2; ++i) sigaction(kRelayed[i], &saved_->actions[i], nullptr);
  gWriteFd = -1;
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

int QtDesktopHost::RunModal(CDialog& dialog) {
  const layout::DialogTemplate* t = layout::FindTemplate(dialog.TemplateId());
  if (t == nullptr) return -1;
  QtDialogWindow window(*t, nullptr);
  const SignalRelay relay([&window](int signo) {
    window.Deliver({signo == SIGUSR1 ? kStopDisplayMessage : kUser100Message, 0, 0, 0});
  });
  return window.Run(dialog, onShown);
}

}  // namespace kolvane::qt
