// The install welcome page: Install opens the options page.
#pragma once

#include "ui/page_view.h"

class CInstallDlg {
 public:
  static constexpr const char* kInstallButton = "安装";
  static constexpr const char* kCancelButton = "取消";

  CInstallDlg(PageView& view, WizardPages& pages) : view_(view), pages_(pages) {}

  PagePlacement placement() const { return PagePlacement::AtLastRect; }
  uint32_t imageId() const;

  // Hides this page, runs a new options page, then ends this one.
  void OnInstall();
  // The quit question.
  void OnCancel();

 private:
  PageView& view_;
  WizardPages& pages_;
};
