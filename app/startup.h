// Start-up of the downloader: profile, single instance, quit broadcast,
// server address, then the command-line modes or the interactive path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/single_instance.h"

class CDownloaderApp;

// The steps of start-up that live in higher layers, handed in by the
// program's main.
struct StartupHooks {
  // Settles the server address; false ends the process at once.
  std::function<bool()> discoverServer;
  // The mode driver: true when it handled the run, false when the
  // interactive path is to run. Unset: always the interactive path.
  std::function<bool(const std::string& commandLine, CDownloaderApp& app)> runCommandLineMode;
  // The first page of the interactive path (the version query), run until
  // the chain of pages behind it has ended.
  std::function<void(CDownloaderApp& app)> runFirstPage;
  // The program's name: the caption of start-up's own message box.
  std::string programName;
};

class CDownloaderApp {
 public:
  CDownloaderApp(std::string commandLine, StartupHooks hooks);

  // Runs the whole start-up sequence. Always returns false: the process ends
  // after it, whichever way it went.
  bool InitInstance();

  const std::string& commandLine() const { return commandLine_; }

  // Id of the registered single-instance message; 0 until registered.
  uint32_t singleMsgId = 0;

 private:
  std::string commandLine_;
  StartupHooks hooks_;
};

// The application object of this run, or null before one was created.
CDownloaderApp* TheApp();

// The command line as one text: the arguments after the program name joined
// by single blanks, leading blanks removed. It is compared as a whole.
std::string CommandLineFromArgs(int argc, char** argv);
// The base name of the program as it was started (argv[0]).
std::string ProgramNameFromArgs(int argc, char** argv);

// "orv_detect_tools_single_msgid" + alliance code + "_" + decimal bank id.
std::string SingleInstanceMessageName(const std::string& allianceCode, uint32_t bankId);
// "downloader_NAVRO_" + "%03x" of the bank id.
std::string SingleInstanceLockName(uint32_t bankId);

// The handler every page passes broadcast messages through: the quit message
// with wParam 1 ends the process at once; everything else is ignored.
void HandleSingleInstanceMessage(uint32_t singleMsgId, const platform::BroadcastMessage& msg);
