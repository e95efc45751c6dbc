// The GUI tests need one QApplication for the whole run; offscreen unless
// the environment chooses a platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/qt/desktop_host.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  kolvane::qt::PrepareApplication(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
