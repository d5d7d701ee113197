// downloader-cli: the downloader in a terminal.
#include "app/startup.h"
#include "ui/console/console_front_end.h"

int main(int argc, char** argv) {
  ConsoleFrontEnd frontEnd;
  SetFrontEnd(&frontEnd);
  CDownloaderApp app(CommandLineFromArgs(argc, argv));
  app.InitInstance();
  return frontEnd.exitCode();
}
