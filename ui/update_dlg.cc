#include "ui/update_dlg.h"

#include "app/settings.h"
#include "install/process_control.h"

uint32_t CUpdateDlg::imageId() const {
  return kind_ == 0 ? BankProfile.updateImageId : BankProfile.reinstallImageId;
}

std::string CUpdateDlg::question() const {
  return kind_ == 0 ? "网银助手有新版本，是否现在更新？" : "是否重新安装网银助手？";
}

void CUpdateDlg::OnOK() {
  if (!ConfirmCloseBrowser(BankProfile.assistantName)) return;
  view_.HidePage();
  pages_.RunProgressPage(Update);
  view_.EndPage(kPageCancel);
}
