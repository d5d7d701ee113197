// The Qt downloader's start-up up to its first page, ending as soon as that
// page is shown: what bench-qt-startup times.
#include <QApplication>
#include <cstdlib>

#include "app/startup.h"
#include "platform/platform.h"
#include "ui/command_line_mode.h"
#include "ui/qt/qt_pages.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ConfigureApplication();
  QtDialogs dialogs;
  platform::Sys().dialogs = &dialogs;
  QtWizard wizard;
  wizard.onPageShown = [](SkinnedPage*) {
    QApplication::processEvents();  // the page is painted
    std::_Exit(0);
  };
  StartupHooks hooks = FrontEndStartupHooks(
      wizard.modePages(), [&] { wizard.RunVersionQueryPage(); }, "downloader");
  CDownloaderApp app(CommandLineFromArgs(argc, argv), std::move(hooks));
  app.InitInstance();
  return 1;  // the first page never showed
}
