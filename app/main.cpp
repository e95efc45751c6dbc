// kolvane-panel: the front panel of the frequency counter. It takes nothing
// on its command line but --help, --version and Qt's own options.
// KOLVANE_SCREENSHOT=<png> makes it save a picture of the panel after
// KOLVANE_SCREENSHOT_DELAY_MS (3000 by default) and close.
// SIGTERM, SIGINT and SIGHUP close it the way its close box does; it ends
// with status 0.
#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/panel_app.h"
#include "version.h"

namespace {

const char kUsage[] =
    "Usage: kolvane-panel [--help | --version]\n"
    "The front panel of the frequency counter. It tries COM1 to COM9 in turn,\n"
    "/dev/ttyUSB0 to /dev/ttyUSB8, or DIR/com1 to DIR/com9 when KOLVANE_PORTS=DIR,\n"
    "and keeps the first port whose instrument answers.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the program's name and version\n"
    "\n"
    "Qt's own options, such as -platform offscreen, are accepted.\n";

int ScreenshotDelayMs() {
  const QByteArray text = qgetenv("KOLVANE_SCREENSHOT_DELAY_MS");
  bool ok = false;
  const int ms = text.toInt(&ok);
  return ok && ms >= 0 ? ms : 3000;
}

void ScheduleScreenshot(kolvane::CPanelApp& app, const QString& path) {
  const int delay = ScreenshotDelayMs();
  app.Host().onShown = [path, delay](kolvane::qt::QtDialogWindow& window) {
    QDialog* panel = &window.Widget();
    QTimer::singleShot(delay, panel, [panel, path] {
      if (panel->grab().save(path, "PNG")) {
        std::printf("%s\n", path.toLocal8Bit().constData());
        std::fflush(stdout);
      } else {
        std::fprintf(stderr, "kolvane-panel: cannot write %s\n", path.toLocal8Bit().constData());
      }
      // Closed the ordinary way, so the closing sequence runs.
      panel->close();
    });
  };
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt starts, so that they need no display.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("kolvane-panel " KOLVANE_VERSION);
      return 0;
    }
  }
  QApplication application(argc, argv);
  // Qt has taken its own options out; anything left is not the panel's.
  if (argc > 1) {
    std::fprintf(stderr, "kolvane-panel: unknown argument %s (see --help)\n", argv[1]);
    return 2;
  }
  kolvane::qt::PrepareApplication(application);
  kolvane::CPanelApp app;
  const QString screenshot = qEnvironmentVariable("KOLVANE_SCREENSHOT");
  if (!screenshot.isEmpty()) ScheduleScreenshot(app, screenshot);
  app.InitInstance();
  return 0;
}
