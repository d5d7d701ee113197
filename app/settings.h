// The process-wide records: the bank profile, the window title, the server
// address and the run-time settings, with the loose run-time flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ProgressSink;

// The server's update instruction.
enum UpdateMode : int32_t { NoUpdate = 0, PromptUpdate = 1, ForceUpdate = 2 };

struct BankProfileRecord {
  uint32_t bankId = 0;
  std::string downloaderTitle;
  std::string allianceCode;
  std::string assistantName;
  std::string installSubdir;
  uint32_t iconId = 0;
  uint32_t queryImageId = 0;
  uint32_t welcomeImageId = 0;
  uint32_t optionsImageId = 0;
  uint32_t progressImageId = 0;
  uint32_t progressAltImageId = 0;
  uint32_t updateImageId = 0;
  uint32_t reinstallImageId = 0;
  std::string legacyProductKey;
};

struct DownloadPath {
  std::string ip;                       // server base: scheme and host, no trailing slash
  std::vector<std::string> serverUrls;  // alternative bases, tried in order when not empty
  std::string port;                     // placed verbatim between base and path
  std::string path;                     // request path and query prefix
};

struct RunSettingsRecord {
  std::string installDir;
  std::string serverVersion;
  std::string downloadUrl;
  std::string webUiExeName;
  std::string uninstallerExeName;
  std::string assistantExeName;
  int32_t updateMode = NoUpdate;
};

struct WindowRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

extern BankProfileRecord BankProfile;
extern std::string windowTitle;
extern DownloadPath g_downloadpath;
extern RunSettingsRecord RunSettings;

extern std::string vendorKey;
extern bool createDesktopShortcut;
extern bool createStartMenuShortcut;
extern bool createQuickLaunchShortcut;
extern bool autoStart;
extern WindowRect lastWindowRect;
extern ProgressSink* progressDialog;

// Returns every record to its state before start-up (used between tests).
void ResetProcessRecords();
