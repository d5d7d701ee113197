// downloader-cli: the downloader in a terminal.
#include <csignal>
#include <cstdio>

#include "app/startup.h"
#include "platform/platform.h"
#include "ui/command_line_mode.h"
#include "ui/console/console_front_end.h"

int main(int argc, char** argv) {
  // Output that nobody reads any more (a closed pipe) must not end an
  // installation halfway.
  std::signal(SIGPIPE, SIG_IGN);
  // A response file is checked whole before anything else happens, so a
  // fault in it never leaves a half-made installation.
  ResponseFile response;
  std::string responsePath = platform::GetEnv("DOWNLOADER_RESPONSE_FILE");
  std::string error;
  if (!responsePath.empty() && !LoadResponseFile(responsePath, &response, &error)) {
    std::fprintf(stderr, "downloader-cli: response file %s: %s\n",
                 platform::EscapeControlText(responsePath).c_str(),
                 platform::EscapeControlText(error).c_str());
    return kExitBadResponseFile;
  }
  ConsoleFrontEnd frontEnd(std::move(response));
  platform::Sys().dialogs = &frontEnd;
  ModePages pages;
  pages.updatePrompt = [&](int kind) { frontEnd.RunUpdatePrompt(kind); };
  pages.progressPage = [&](InstallMode mode) { frontEnd.RunProgressPage(mode); };
  StartupHooks hooks = FrontEndStartupHooks(
      pages, [&] { frontEnd.RunVersionQueryPage(); }, ProgramNameFromArgs(argc, argv));
  CDownloaderApp app(CommandLineFromArgs(argc, argv), std::move(hooks));
  app.InitInstance();
  return frontEnd.exitCode();
}
