// The stop signals against kolvane-sim: the panel process closes the way
// its close box closes it, with the closing frame last and once, and ends
// with status 0; a modal dialog open at that moment closes first.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDialog>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/gui/real_panel.h"

namespace kolvane::test {
namespace {

constexpr char kClosingFrame[] = R"(J\x0D)";

// kolvane-panel as its own process, offscreen, on the simulator's ports.
pid_t StartPanel() {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    execl(KOLVANE_PANEL_PATH, KOLVANE_PANEL_PATH, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// The wait status once the process ended, or -1 when it is still running
// after timeoutMs (it is killed then).
int WaitForExit(pid_t pid, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status;
}

void ExpectClosingFrameLastAndOnce(const SimProcess& sim) {
  const std::vector<std::string> frames = ReceivedFrames(sim);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.front(), R"(B\x0D)");
  EXPECT_EQ(frames.back(), kClosingFrame);
  EXPECT_EQ(std::count(frames.begin(), frames.end(), kClosingFrame), 1);
}

TEST(StopSignals, ClosePanelProcessWithTheClosingFrameAndStatusZero) {
  struct Case {
    const char* name;
    int signo;
    int whileClosing;  // sent once the closing frame is out, 0 for none
  };
  const Case cases[] = {
      {"SIGTERM", SIGTERM, 0},
      {"SIGINT", SIGINT, 0},
      {"SIGHUP", SIGHUP, 0},
      {"SIGUSR1 during the closing sequence", SIGTERM, SIGUSR1},
      {"a second stop signal during the closing sequence", SIGHUP, SIGINT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimProcess sim;
    ASSERT_TRUE(sim.Ready());
    const pid_t panel = StartPanel();
    ASSERT_GT(panel, 0);
    // Polling once the instrument's state is read back.
    if (!sim.WaitForLog(R"(D1\x0D)", 5000)) {
      ADD_FAILURE() << "the panel did not read the instrument back";
      WaitForExit(panel, 0);
      continue;
    }
    kill(panel, c.signo);
    if (c.whileClosing != 0) {
      // The panel waits 100 ms after the closing frame before it lets the port go.
      EXPECT_TRUE(sim.WaitForLog(kClosingFrame, 2000));
      int status = 0;
      EXPECT_EQ(waitpid(panel, &status, WNOHANG), 0) << "the closing sequence was already over";
      kill(panel, c.whileClosing);
    }
    const int status = WaitForExit(panel, 5000);
    ASSERT_NE(status, -1) << "the panel did not close";
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    ExpectClosingFrameLastAndOnce(sim);
  }
}

TEST(StopSignals, CloseTheModalDialogFirst) {
  struct Case {
    const char* name;
    int signo;
    int templateId;
    std::function<void(qt::QtDialogWindow&)> open;  // returns once the dialog closed
  };
  const auto click = [](int id) {
    return [id](qt::QtDialogWindow& w) { ClickControl(w.Widget(), id); };
  };
  const Case cases[] = {
      {"count mode", SIGTERM, ids::kCountDialog, click(ids::kModeCount)},
      {"pulse duration", SIGINT, ids::kDurationDialog, click(ids::kModePulseDuration)},
      {"ratio", SIGHUP, ids::kRatioDialog, click(ids::kModeRatio)},
      {"About, from the system menu", SIGTERM, ids::kAboutDialog,
       [](qt::QtDialogWindow& w) {
         w.Deliver({WM_SYSCOMMAND, ids::kAboutCommand, 0, 0});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimProcess sim({"--rate", "0"});
    ASSERT_TRUE(sim.Ready());
    RealPanel p;
    bool signalled = false;
    bool dialogClosedBeforePanel = false;
    bool panelClosedBySignal = true;
    p.host.onShown = [&](qt::QtDialogWindow& w) {
      QDialog* panel = &w.Widget();
      // Should the signal not close it.
      QTimer::singleShot(8000, panel, [&, panel] {
        panelClosedBySignal = false;
        panel->close();
      });
      QTimer::singleShot(0, panel, [&] {
        if (!WaitForReadback(p)) {
          ADD_FAILURE() << "the panel never got ready";
          return;
        }
        QTimer::singleShot(0, &w.Widget(), [&] {
          QDialog* dialog = ModalDialog();
          if (dialog == nullptr ||
              dialog->accessibleDescription() != QString::number(c.templateId)) {
            ADD_FAILURE() << "dialog " << c.templateId << " is not open";
            if (dialog != nullptr && dialog != &w.Widget()) dialog->reject();
            return;
          }
          QObject::connect(dialog, &QDialog::finished, dialog,
                           [&] { dialogClosedBeforePanel = !w.Ended(); });
          signalled = std::raise(c.signo) == 0;
        });
        c.open(w);
      });
    };
    EXPECT_EQ(p.panel.DoModal(p.host), IDCANCEL);
    EXPECT_TRUE(signalled);
    EXPECT_TRUE(dialogClosedBeforePanel);
    EXPECT_TRUE(panelClosedBySignal);
    ASSERT_TRUE(sim.WaitForLog(kClosingFrame, 1000));
    ExpectClosingFrameLastAndOnce(sim);
  }
}

}  // namespace
}  // namespace kolvane::test
