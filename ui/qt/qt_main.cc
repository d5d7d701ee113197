// downloader: the downloader's Qt wizard, the program a customer starts.
#include <QApplication>
#include <QFont>

#include "app/startup.h"
#include "channel/server_discovery.h"
#include "platform/platform.h"
#include "ui/command_line_mode.h"
#include "ui/qt/qt_pages.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setFont(QFont("WenQuanYi Micro Hei", 9));
  // The wizard decides when the run ends; a hidden page must not end it.
  QApplication::setQuitOnLastWindowClosed(false);
  QtDialogs dialogs;
  platform::Sys().dialogs = &dialogs;
  QtWizard wizard;
  StartupHooks hooks;
  hooks.discoverServer = DiscoverServer;
  hooks.runCommandLineMode = [&](const std::string& commandLine, CDownloaderApp& app) {
    ModePages pages;
    pages.updatePrompt = [&](int kind) { wizard.RunUpdatePrompt(kind); };
    pages.progressPage = [&](InstallMode mode) { wizard.RunProgressPage(mode); };
    return RunCommandLineMode(commandLine, app, pages);
  };
  hooks.runFirstPage = [&](CDownloaderApp&) { wizard.RunVersionQueryPage(); };
  hooks.programName = ProgramNameFromArgs(argc, argv);
  CDownloaderApp app(CommandLineFromArgs(argc, argv), std::move(hooks));
  app.InitInstance();
  return 0;
}
