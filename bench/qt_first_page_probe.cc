// The Qt downloader's start-up up to its first page, ending as soon as that
// page is shown: what bench-qt-startup times.
#include <QApplication>
#include <QFont>
#include <cstdlib>

#include "app/startup.h"
#include "channel/server_discovery.h"
#include "platform/platform.h"
#include "ui/command_line_mode.h"
#include "ui/qt/qt_pages.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setFont(QFont("WenQuanYi Micro Hei", 9));
  QApplication::setQuitOnLastWindowClosed(false);
  QtDialogs dialogs;
  platform::Sys().dialogs = &dialogs;
  QtWizard wizard;
  wizard.onPageShown = [](SkinnedPage*) {
    QApplication::processEvents();  // the page is painted
    std::_Exit(0);
  };
  StartupHooks hooks;
  hooks.discoverServer = DiscoverServer;
  hooks.runCommandLineMode = [&](const std::string& commandLine, CDownloaderApp& app) {
    ModePages pages;
    pages.updatePrompt = [&](int kind) { wizard.RunUpdatePrompt(kind); };
    pages.progressPage = [&](InstallMode mode) { wizard.RunProgressPage(mode); };
    return RunCommandLineMode(commandLine, app, pages);
  };
  hooks.runFirstPage = [&](CDownloaderApp&) { wizard.RunVersionQueryPage(); };
  hooks.programName = "downloader";
  CDownloaderApp app(CommandLineFromArgs(argc, argv), std::move(hooks));
  app.InitInstance();
  return 1;  // the first page never showed
}
