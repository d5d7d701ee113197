// The references for bench-qt-startup: an empty Qt Widgets program that
// shows one window and ends as soon as it is shown; with --text the window
// shows one line of Chinese text in the wizard's font, which is what any
// page with text pays for the system's font set-up.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const bool text = argc > 1 && std::strcmp(argv[1], "--text") == 0;
  QApplication application(argc, argv);
  QWidget window;
  window.resize(592, 357);
  if (text) {
    QApplication::setFont(QFont("WenQuanYi Micro Hei", 9));
    new QLabel(QString::fromUtf8("正在连接服务器"), &window);  // owned by the window
  }
  window.show();
  QTimer::singleShot(0, [] {
    QApplication::processEvents();  // the window is painted
    std::_Exit(0);
  });
  return application.exec();
}
