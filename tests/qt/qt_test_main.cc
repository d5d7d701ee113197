// The Qt tests run without a display unless one is given.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "ui/qt/qt_common.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ConfigureApplication();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
