// downloader: the downloader's Qt wizard, the program a customer starts.
#include <QApplication>

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
  StartupHooks hooks = FrontEndStartupHooks(
      wizard.modePages(), [&] { wizard.RunVersionQueryPage(); }, ProgramNameFromArgs(argc, argv));
  CDownloaderApp app(CommandLineFromArgs(argc, argv), std::move(hooks));
  app.InitInstance();
  return 0;
}
