#include "ui/install_dlg.h"

#include "app/settings.h"
#include "ui/page_common.h"

uint32_t CInstallDlg::imageId() const { return BankProfile.welcomeImageId; }

void CInstallDlg::OnInstall() {
  view_.HidePage();
  pages_.RunOptionPage();
  view_.EndPage(kPageCancel);
}

void CInstallDlg::OnCancel() { ConfirmQuitInstall(); }
