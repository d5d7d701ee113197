// Start-up of the downloader: profile, single instance, quit broadcast,
// server address, then the command-line modes or the interactive path.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

class CDownloaderApp {
 public:
  explicit CDownloaderApp(std::string commandLine);

  // Runs the whole start-up sequence. Always returns false: the process ends
  // after it, whichever way it went.
  bool InitInstance();

  const std::string& commandLine() const { return commandLine_; }

  // Id of the registered single-instance message; 0 until registered.
  uint32_t singleMsgId = 0;

 private:
  std::string commandLine_;
};

// The application object of this run, or null before one was created.
CDownloaderApp* TheApp();

// The command line as one text: the arguments after the program name joined
// by single blanks, leading blanks removed. It is compared as a whole.
std::string CommandLineFromArgs(int argc, char** argv);

// "orv_detect_tools_single_msgid" + alliance code + "_" + decimal bank id.
std::string SingleInstanceMessageName(const std::string& allianceCode, uint32_t bankId);
// "downloader_NAVRO_" + "%03x" of the bank id.
std::string SingleInstanceLockName(uint32_t bankId);

// The handler every page passes broadcast messages through: the quit message
// with wParam 1 ends the process at once; everything else is ignored.
void HandleSingleInstanceMessage(uint32_t singleMsgId, const platform::BroadcastMessage& msg);
