// kolvane-panel: the front panel of the frequency counter. It takes nothing
// on its command line. KOLVANE_SCREENSHOT=<png> makes it save a picture of
// the panel after KOLVANE_SCREENSHOT_DELAY_MS (3000 by default) and close.
// SIGTERM, SIGINT and SIGHUP close it the way its close box does; it ends
// with status 0.
#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/panel_app.h"

namespace {

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
  QApplication application(argc, argv);
  kolvane::qt::PrepareApplication(application);
  kolvane::CPanelApp app;
  const QString screenshot = qEnvironmentVariable("KOLVANE_SCREENSHOT");
  if (!screenshot.isEmpty()) ScheduleScreenshot(app, screenshot);
  app.InitInstance();
  return 0;
}
