#include "app/startup.h"

#include <cstdio>

#include "app/bank_profile.h"
#include "app/settings.h"
#include "platform/platform.h"

namespace {

CDownloaderApp* theApp = nullptr;

}  // namespace

CDownloaderApp::CDownloaderApp(std::string commandLine, StartupHooks hooks)
    : commandLine_(std::move(commandLine)), hooks_(std::move(hooks)) {
  theApp = this;
}

CDownloaderApp* TheApp() { return theApp; }

std::string CommandLineFromArgs(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : line.substr(first);
}

std::string ProgramNameFromArgs(int argc, char** argv) {
  if (argc < 1 || !argv[0]) return "downloader";
  std::string path = argv[0];
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SingleInstanceMessageName(const std::string& allianceCode, uint32_t bankId) {
  return "orv_detect_tools_single_msgid" + allianceCode + "_" + std::to_string(bankId);
}

std::string SingleInstanceLockName(uint32_t bankId) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%03x", bankId);
  return std::string("downloader_NAVRO_") + hex;
}

void HandleSingleInstanceMessage(uint32_t singleMsgId, const platform::BroadcastMessage& msg) {
  if (msg.id == singleMsgId && msg.wParam == 1) platform::Sys().processExit->Immediate(0);
}

bool CDownloaderApp::InitInstance() {
  platform::Services& sys = platform::Sys();

  // Privileges and common controls have no counterpart here; the front end
  // has already set up its toolkit before calling us.
  LoadBankProfile();

  progressDialog = nullptr;
  createStartMenuShortcut = true;
  createDesktopShortcut = true;
  createQuickLaunchShortcut = true;

  singleMsgId = 0;
  singleMsgId = sys.messageBus->Register(
      SingleInstanceMessageName(BankProfile.allianceCode, BankProfile.bankId));
  if (singleMsgId == 0) {
    sys.dialogs->ShowMessage("Can not initialize.", hooks_.programName,
                             platform::MessageIcon::Error);
    return false;
  }

  if (commandLine_ == "-t") {
    sys.messageBus->Broadcast(singleMsgId, 1, 0);
    return false;
  }

  if (!sys.instanceLock->Acquire(SingleInstanceLockName(BankProfile.bankId))) {
    sys.processExit->Normal(0);
  }

  if (hooks_.discoverServer && !hooks_.discoverServer()) sys.processExit->Immediate(0);

  platform::Debug("g_downloadpath.ip(" + g_downloadpath.ip + ")");
  platform::Debug("g_downloadpath.path(" + g_downloadpath.path + ")");
  platform::Debug("g_downloadpath.port(" + g_downloadpath.port + ")");
  platform::Debug(g_downloadpath.ip + g_downloadpath.port + g_downloadpath.path);

  bool handled = hooks_.runCommandLineMode && hooks_.runCommandLineMode(commandLine_, *this);
  if (!handled && hooks_.runFirstPage) hooks_.runFirstPage(*this);
  return false;
}
