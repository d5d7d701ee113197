#include "ui/page_common.h"

#include "app/settings.h"
#include "app/startup.h"
#include "ui/front_end.h"

PageBroadcastGuard::PageBroadcastGuard() {
  CDownloaderApp* app = TheApp();
  if (!app || app->singleMsgId == 0) return;
  uint32_t id = app->singleMsgId;
  listener_ = platform::Sys().messageBus->Listen(
      id, [id](const platform::BroadcastMessage& msg) { HandleSingleInstanceMessage(id, msg); });
}

PageBroadcastGuard::~PageBroadcastGuard() = default;

void ConfirmQuitInstall() {
  if (TheFrontEnd().AskYesNo("是否退出网银助手安装？", BankProfile.downloaderTitle)) {
    platform::Sys().processExit->Immediate(0);
  }
}
