// downloader-cli: the downloader in a terminal.
#include "app/startup.h"
#include "channel/server_discovery.h"
#include "platform/platform.h"
#include "ui/command_line_mode.h"
#include "ui/console/console_front_end.h"

int main(int argc, char** argv) {
  ConsoleFrontEnd frontEnd;
  platform::Sys().dialogs = &frontEnd;
  StartupHooks hooks;
  hooks.discoverServer = DiscoverServer;
  hooks.runCommandLineMode = [&](const std::string& commandLine, CDownloaderApp& app) {
    ModePages pages;
    pages.updatePrompt = [&](int kind) { frontEnd.RunUpdatePrompt(app, kind); };
    pages.progressPage = [&](InstallMode mode) { frontEnd.RunProgressPage(app, mode); };
    return RunCommandLineMode(commandLine, app, pages);
  };
  hooks.runFirstPage = [&](CDownloaderApp& app) { frontEnd.RunVersionQueryPage(app); };
  hooks.programName = ProgramNameFromArgs(argc, argv);
  CDownloaderApp app(CommandLineFromArgs(argc, argv), std::move(hooks));
  app.InitInstance();
  return frontEnd.exitCode();
}
