#include "app/settings.h"

BankProfileRecord BankProfile;
std::string windowTitle;
DownloadPath g_downloadpath;
RunSettingsRecord RunSettings;

std::string vendorKey;
bool createDesktopShortcut = false;
bool createStartMenuShortcut = false;
bool createQuickLaunchShortcut = false;
bool autoStart = false;
WindowRect lastWindowRect;
ProgressSink* progressDialog = nullptr;

void ResetProcessRecords() {
  BankProfile = BankProfileRecord{};
  windowTitle.clear();
  g_downloadpath = DownloadPath{};
  RunSettings = RunSettingsRecord{};
  vendorKey.clear();
  createDesktopShortcut = false;
  createStartMenuShortcut = false;
  createQuickLaunchShortcut = false;
  autoStart = false;
  lastWindowRect = WindowRect{};
  progressDialog = nullptr;
}
