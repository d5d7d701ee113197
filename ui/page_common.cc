#include "ui/page_common.h"

#include "app/settings.h"
#include "app/startup.h"
#include "platform/platform.h"

PageBroadcastGuard::PageBroadcastGuard(uint32_t singleMsgId) {
  if (singleMsgId == 0) return;
  listener_ = platform::Sys().messageBus->Listen(
      singleMsgId, [singleMsgId](const platform::BroadcastMessage& msg) {
        HandleSingleInstanceMessage(singleMsgId, msg);
      });
}

PageBroadcastGuard::~PageBroadcastGuard() = default;

void ConfirmQuitInstall() {
  if (platform::Sys().dialogs->AskYesNo("是否退出网银助手安装？", BankProfile.downloaderTitle)) {
    platform::Sys().processExit->Immediate(0);
  }
}

std::string DefaultInstallDir() {
  return platform::Sys().locations->ProgramFilesDir() + platform::kPathSep +
         BankProfile.installSubdir;
}

void RecordWindowRect(const WindowRect& rect) { lastWindowRect = rect; }
