// The update prompt: offers the newer version (kind 0) or a reinstallation
// (any other kind). OK closes the browser if the user agrees and runs the
// progress page in mode Update; Cancel only closes the page.
#pragma once

#include <string>

#include "ui/page_view.h"

class CUpdateDlg {
 public:
  static constexpr const char* kOkButton = "确定";
  static constexpr const char* kCancelButton = "取消";

  CUpdateDlg(PageView& view, WizardPages& pages, int kind)
      : view_(view), pages_(pages), kind_(kind) {}

  PagePlacement placement() const { return PagePlacement::Centered; }
  int kind() const { return kind_; }
  // The picture of the kind, which carries the question.
  uint32_t imageId() const;
  // The question the picture carries, as text.
  std::string question() const;

  void OnOK();
  void OnCancel() { view_.EndPage(kPageCancel); }

 private:
  PageView& view_;
  WizardPages& pages_;
  int kind_;
};
