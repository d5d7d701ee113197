// The reference for bench-qt-startup: an empty Qt Widgets program that
// shows one window and ends as soon as it is shown.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  window.resize(592, 357);
  window.show();
  QTimer::singleShot(0, [] {
    QApplication::processEvents();  // the window is painted
    std::_Exit(0);
  });
  return application.exec();
}
